// Whether the decoder takes itself for started from the file manager, decided with a fake
// desktop (files dropped on the real .exe in a console of its own:
// DecoderProcess.FilesDroppedFromExplorerOpenThePageAndItWaitsForEnter).
#include <sstream>

#include "platform/linux/MbedTlsKeyedHash.h"
#include "tests/support/DecoderFolder.h"
#include "tools/decode/DesktopStart.h"

namespace qrx::test {
namespace {

struct FakeShell : IDesktopShell {
    bool owns = true;
    int opened = 0, waits = 0;
    bool OwnsConsole() override { return owns; }
    std::string TempFolder() override { return "/nonexistent/"; }
    Done Open(const std::string&) override { return ++opened, Done(); }
    void WaitForEnter() override { ++waits; }
};

struct Input : IByteInput {
    std::string data;
    Result<std::size_t> Read(char* buffer, std::size_t capacity) override {
        const std::size_t got = data.copy(buffer, capacity);
        data.erase(0, got);
        return got;
    }
};

struct DesktopStart : DecoderFolder {
    DesktopStart() : DecoderFolder("/tmp/qrx-desktop.XXXXXX") {}
};

TEST_F(DesktopStart, NothingGivenSaysHowAndAConsoleOrAnOptionIsTheDecoderAsItIs) {
    const std::string file = Encrypted({"----------Win32_BaseBoard----------", "Product\tB360M"});
    const struct {
        std::vector<std::string> args;
        bool owns;
        const char* out;  // the beginning of standard output
        const char* err;  // a part of standard error
    } cases[] = {
        {{}, true, "", "ドラッグ＆ドロップしてください"},
        {{"a.dat"}, false, "----------Win32_BaseBoard----------\nProduct\tB360M\n", ""},
        {{"--json", "a.dat"}, true, "{\"file\":\"a.dat\"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        FakeShell shell;
        shell.owns = c.owns;
        struct : IByteOutput {
            std::string text;
            Done Write(const char* data, std::size_t size) override {
                return text.append(data, size), Done();
            }
        } out;
        std::ostringstream messages;
        PlainFiles tree;
        MbedTlsKeyedHash hash;
        const auto open = [&](const std::string&) -> Result<std::unique_ptr<IByteInput>> {
            auto input = std::make_unique<Input>();
            input->data = file;
            return std::unique_ptr<IByteInput>(std::move(input));
        };
        EXPECT_EQ(RunDesktopDecoder(c.args, crypto, codec, hash, open, tree, shell, out, messages),
                  0);
        EXPECT_TRUE(out.text.starts_with(c.out) && (c.out[0] != '\0' || out.text.empty()))
            << out.text;
        EXPECT_NE(messages.str().find(c.err), std::string::npos) << messages.str();
        // Only the file manager's start waits for Enter, so that its window stays to be read.
        EXPECT_EQ(shell.waits, c.args.empty() ? 1 : 0);
        EXPECT_EQ(shell.opened, 0);
    }
}

}  // namespace
}  // namespace qrx::test
