# The Windows backends come with the Windows program; until then only the core and its tests
# are built here.
