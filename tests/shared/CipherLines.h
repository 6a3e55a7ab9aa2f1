#pragma once

// Records and the cipher lines that every platform must produce for them. The lines were made
// by an independent tool: iconv to CP932, then `openssl enc -aes-128-cbc -a -A` with the
// program's key and IV.
namespace qrx::test {

struct RecordLine {
    const char* record;
    const char* line;
};

inline constexpr RecordLine kRecordLines[] = {
    {"Name\tIntel(R) Core(TM) i7 ～ テスト",
     "Ca4775Wrg5GvsJl8KWnWTRfKunOuGzKNECK4Ny2bjpOSTLXOp6QAQ0yZz3HPE2jH"},
    {"----------Win32_Processor----------",
     "lxFagE069TXJVidZBr4Iq0xgIkOSY3Uv0m3N69LU9/k3hJYB9DnbyJX/6qEfd2Ak"},
    {"Caption\t[00000001] C:\\Windows ①髙",
     "dBYq0sf0L7R0+hg8lv0Or6V8G12tq1Y2SuZ4PqLrDkWkhhiSWWO8MjnFdvDJSKN5"},
    {"x", "E8E4c6lFpxJU90fuRx0r7g=="},
    {"IPAddress\tfe80::1", "s4FGHB3uLcQeOeHFO9Kjn8EQV+JvJtbI6uu6KIRwt0k="},
};

}  // namespace qrx::test
