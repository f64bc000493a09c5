// Converting a page full of references to remote resources (scripts, frames,
// images, style sheets, a base address, a refresh, objects, @import) opens no
// network connection: under strace no socket of the internet families is
// made or connected, without a network (unshare -n) the result is the same
// bytes, and the result is the only file that appears.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child_process.h"
#include "test_support.h"

namespace tabrivo {
namespace {

namespace fs = test::fs;
using test::ChildResult;
using test::readFileBytes;
using test::TempDir;
using test::writeFileBytes;

// Addresses in the documentation range (192.0.2.0/24, 2001:db8::/32) and a
// reserved name, so that a leak could not reach anything real.
constexpr std::string_view kRemotePage = R"html(<!DOCTYPE html>
<html><head>
<base href="http://192.0.2.1/base/">
<meta http-equiv="refresh" content="0;url=http://192.0.2.2/refresh">
<link rel="stylesheet" href="http://192.0.2.3/style.css">
<link rel="stylesheet" href="http://[2001:db8::4]/style6.css">
<link rel="preload" href="http://remote.invalid/font.woff2" as="font">
<style>@import url(http://192.0.2.5/imported.css); @import "http://remote.invalid/b.css";
td.bg { background: url(http://192.0.2.6/bg.png) }</style>
<script src="http://192.0.2.7/script.js"></script>
<script>fetch("http://192.0.2.8/x"); document.write("<table><tr><td>written</td></tr></table>");</script>
</head><body>
<table>
<tr><td class="bg">Script<script src=http://192.0.2.9/inline.js></script></td>
    <td><iframe src=http://192.0.2.10/frame.html>frame fallback</iframe>Frame</td></tr>
<tr><td><img src=http://192.0.2.11/image.png alt="an image">Image</td>
    <td><object data=http://192.0.2.12/object.swf>object fallback</object></td></tr>
<tr><td><video src=http://192.0.2.13/v.mp4 poster=http://192.0.2.14/p.png></video>Video</td>
    <td><a href="http://192.0.2.15/link">Link</a></td></tr>
<tr><td style="background-image:url(http://192.0.2.16/cell.png)">Styled</td>
    <td><svg><image href="http://192.0.2.17/svg.png"/></svg>Svg</td></tr>
</table>
</body></html>
)html";

ChildResult convertWith(std::vector<std::string> prefix, const fs::path& source,
                        const fs::path& outputDir) {
    prefix.insert(prefix.end(), {TABRIVO_CONVERT_PATH, "-q", "-j", "1", "-o", outputDir.string(),
                                 source.string()});
    return test::runWithWatchdog(prefix);
}

class NoNetwork : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(src);
        fs::create_directory(out);
        writeFileBytes(src / "remote.html", kRemotePage);
    }
    // A normal run, the reference for the other runs.
    std::string plainRunBytes() {
        const ChildResult run = convertWith({}, src / "remote.html", out);
        EXPECT_EQ(run.exitCode, 0) << run.describe();
        return readFileBytes(out / "remote.json");
    }
    void expectOnlyTheResult() const {
        EXPECT_EQ(test::folderEntries(src), std::vector<std::string>{"remote.html"});
        EXPECT_EQ(test::folderEntries(out), std::vector<std::string>{"remote.json"});
    }

    TempDir dir;
    const fs::path src = dir.path() / "src";
    const fs::path out = dir.path() / "out";
};

TEST_F(NoNetwork, plainRun_convertsTheTablesAndWritesOnlyTheResult) {
    const std::string output = plainRunBytes();
    EXPECT_NE(output.find("\t\"Script\", \r\n"), std::string::npos) << output;
    EXPECT_NE(output.find("\t\"Image\", \r\n"), std::string::npos) << output;
    EXPECT_NE(output.find("\t\"Link\"\r\n"), std::string::npos) << output;
    EXPECT_EQ(output.find("written"), std::string::npos) << "a script ran: " << output;
    expectOnlyTheResult();
}

TEST_F(NoNetwork, underStrace_noInternetSocketIsMadeOrConnected) {
    const auto strace = test::findOnPath("strace");
    if (!strace) {
        GTEST_SKIP() << "strace is not installed (Debian package strace)";
    }
    const std::string expected = plainRunBytes();
    fs::remove(out / "remote.json");
    const fs::path log = dir.path() / "strace.log";
    // LeakSanitizer cannot run under ptrace; in a sanitizer build it is turned off here.
    const ChildResult run =
        convertWith({"/usr/bin/env", "ASAN_OPTIONS=detect_leaks=0", strace->string(), "-f", "-qq",
                     "-e", "trace=socket,connect,openat", "-o", log.string()},
                    src / "remote.html", out);
    if (run.exitCode != 0 && run.err.find("PTRACE") != std::string::npos) {
        GTEST_SKIP() << "strace cannot trace here: " << run.err;
    }
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    ASSERT_TRUE(fs::exists(log)) << run.err;
    const std::string trace = readFileBytes(log);
    // The trace did follow the conversion: it shows the source being opened.
    EXPECT_NE(trace.find("remote.html"), std::string::npos) << trace;
    for (const std::string& line : test::splitLines(trace)) {
        const bool call =
            line.find("socket(") != std::string::npos || line.find("connect(") != std::string::npos;
        EXPECT_FALSE(call && (line.find("AF_INET") != std::string::npos ||
                              line.find("AF_INET6") != std::string::npos))
            << "a network call: " << line;
    }
    EXPECT_EQ(readFileBytes(out / "remote.json"), expected);
    expectOnlyTheResult();
}

TEST_F(NoNetwork, withoutANetwork_givesTheSameBytes) {
    const auto unshare = test::findOnPath("unshare");
    if (!unshare) {
        GTEST_SKIP() << "unshare is not installed (Debian package util-linux)";
    }
    const std::string expected = plainRunBytes();
    fs::remove(out / "remote.json");
    const ChildResult run = convertWith({unshare->string(), "-n"}, src / "remote.html", out);
    if (run.exitCode != 0 && run.err.find("unshare") != std::string::npos) {
        GTEST_SKIP() << "a private network namespace is not permitted here: " << run.err;
    }
    ASSERT_EQ(run.exitCode, 0) << run.describe();
    EXPECT_EQ(readFileBytes(out / "remote.json"), expected);
    expectOnlyTheResult();
}

}  // namespace
}  // namespace tabrivo
