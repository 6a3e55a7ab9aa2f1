# Linux test executables
