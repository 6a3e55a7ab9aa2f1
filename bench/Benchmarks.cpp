// Costs of the hot paths: one record written, a full collection run, and the decoder.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/Program.h"
#include "platform/linux/LinuxServices.h"
#include "platform/linux/MbedTlsKeyedHash.h"
#include "tools/decode/Decoder.h"

namespace {

namespace fs = std::filesystem;

// Answers every question with OK and shows nothing.
struct QuietWindow : qrx::IWindowing {
    qrx::IWindowEvents* events = nullptr;
    void ShowMainWindow(const qrx::WindowLayout&, qrx::IWindowEvents& e) override { events = &e; }
    void SetButtonEnabled(qrx::ButtonId, bool) override {}
    void ProcessPendingEvents() override {}
    int ShowMessage(const std::string&, int) override { return qrx::kIdOk; }
    void SetBusy(bool) override {}
    void EndProgram() override {}
};

struct FolderApp : qrx::IAppInfo {
    explicit FolderApp(std::string f) : folder(std::move(f)) {}
    std::string folder;
    std::string ExeFolder() override { return folder; }
    std::string ExeName() override { return "QRX_PC_INFO"; }
    std::uint32_t ProgramNumber() override { return 1; }
    char PathSeparator() override { return '/'; }
};

// The program over the real Linux services, writing into a folder of its own; the
// instrumentation is the running system's unless another is given.
struct Rig {
    QuietWindow window;
    FolderApp app;
    qrx::LinuxServices real;
    qrx::Program program;

    Rig(const fs::path& folder, qrx::IWmiProvider* wmi)
        : app(folder.string()), program(real.With(window, app, wmi ? *wmi : real.wmi)) {}
};

fs::path TempFolder() {
    char pattern[] = "/tmp/qrx-bench-XXXXXX";
    return mkdtemp(pattern);
}

const std::string kRecord = "Name\tIntel(R) Core(TM) i7-7700 CPU @ 3.60GHz ～ テスト";

void BM_WriteDataRecord(benchmark::State& state) {
    const fs::path dir = TempFolder();
    Rig rig(dir, nullptr);
    for (auto _ : state) {
        rig.program.data.WriteData(kRecord);
    }
    fs::remove_all(dir);
}
BENCHMARK(BM_WriteDataRecord);

void BM_BareAppendLine(benchmark::State& state) {
    const fs::path dir = TempFolder();
    qrx::PosixFileSystem files;
    const std::string path = (dir / "bare.dat").string();
    const std::string line = "Ca4775Wrg5GvsJl8KWnWTRfKunOuGzKNECK4Ny2bjpOSTLXOp6QAQ0yZz3HPE2jH";
    for (auto _ : state) {
        files.AppendLine(path, line);
    }
    fs::remove_all(dir);
}
BENCHMARK(BM_BareAppendLine);

void Write(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << text;
}

void BM_FullCollectionRun(benchmark::State& state) {
    const fs::path dir = TempFolder();
    const fs::path root = dir / "root";
    Write(root / "sys/class/net/eth0/type", "1\n");
    Write(root / "sys/class/net/eth0/address", "52:54:00:12:34:56\n");
    Write(root / "proc/cpuinfo",
          "processor\t: 0\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 158\n"
          "model name\t: Intel(R) Core(TM) i7-7700 CPU @ 3.60GHz\nstepping\t: 9\n");
    Write(root / "proc/sys/kernel/arch", "x86_64\n");
    Write(root / "proc/sys/kernel/osrelease", "6.1.0-13-amd64\n");
    Write(root / "proc/meminfo", "MemTotal: 16314060 kB\n");
    Write(root / "etc/os-release", "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n");
    Write(root / "etc/default/locale", "LANG=ja_JP.UTF-8\n");
    for (const char* f : {"board_vendor", "board_name", "board_version", "sys_vendor",
                          "product_name", "product_uuid"}) {
        Write(root / "sys/class/dmi/id" / f, "value\n");
    }
    qrx::SysfsWmi::Seams seams;
    seams.interfaces = [] {
        return std::vector<qrx::NetInterface>{{"eth0", 2, false, {"192.0.2.1", "fe80::1"}}};
    };
    qrx::SysfsWmi wmi(root.string(), seams);
    Rig rig(dir, &wmi);
    rig.program.Start("");
    for (auto _ : state) {
        rig.window.events->OnButtonClicked(qrx::ButtonId::cmdRun);
    }
    fs::remove_all(dir);
}
BENCHMARK(BM_FullCollectionRun)->Unit(benchmark::kMillisecond);

void BM_DecodeLines(benchmark::State& state) {
    qrx::MbedTlsCrypto crypto;
    qrx::IconvCodec codec;
    const std::string line = "Ca4775Wrg5GvsJl8KWnWTRfKunOuGzKNECK4Ny2bjpOSTLXOp6QAQ0yZz3HPE2jH\r\n";
    std::string file;
    const int lines = 100000;
    for (int i = 0; i < lines; ++i) {
        file += line;
    }
    struct Input : qrx::IByteInput {
        const std::string& data;
        std::size_t at = 0;
        explicit Input(const std::string& d) : data(d) {}
        qrx::Result<std::size_t> Read(char* buffer, std::size_t capacity) override {
            const std::size_t got = std::min(capacity, data.size() - at);
            std::copy_n(data.data() + at, got, buffer);
            at += got;
            return got;
        }
    };
    struct Output : qrx::IByteOutput {
        std::size_t written = 0;
        qrx::Done Write(const char*, std::size_t size) override {
            written += size;
            return {};
        }
    };
    for (auto _ : state) {
        Output out;
        std::ostringstream err;
        qrx::MbedTlsKeyedHash hash;
        qrx::RunDecoder(
            {}, crypto, codec, hash,
            [&](const std::string&) -> qrx::Result<std::unique_ptr<qrx::IByteInput>> {
                return std::make_unique<Input>(file);
            },
            out, err);
        benchmark::DoNotOptimize(out.written);
    }
    state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(BM_DecodeLines)->Unit(benchmark::kMillisecond);

}  // namespace
