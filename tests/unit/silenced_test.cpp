// Silenced host calls: the host sees "nul" as both standard streams during the call, the saved
// handles come back afterwards, and the call still runs when "nul" cannot be opened.
#include "src/host/silenced.h"
#include "tests/support/plugin_state.h"

#if !defined(_WIN32)
#include "standin/win32/win32_control.h"
#endif

#include <string>
#include <vector>

using support::HostCalls;
using support::Text;
using support::Utf8;

namespace {

class Silenced : public support::PluginTest {};

using SilencedCall = int (*)(WCHAR*);

struct CallCase {
    const char* name;
    SilencedCall call;
    int kind; // in the host's call log
    const WCHAR* input;
    const WCHAR* output;
};

const CallCase kCalls[] = {
    {"ExpandSilently", ExpandSilently, 'E', WIDE("%greeting"), WIDE("hello")},
    {"EvaluateSilently", EvaluateSilently, 'V', WIDE("3*4"), WIDE("12")},
};

void Prepare(WCHAR* buffer, const CallCase& c) {
    TakeCmdSetVariable(WIDE("greeting"), WIDE("hello"));
    Text input(c.input);
    std::copy(input.begin(), input.end(), buffer);
    buffer[input.size()] = 0;
}

TEST_F(Silenced, HostSeesNulAndHandlesComeBack) {
    for (const CallCase& c : kCalls) {
        support::ResetPluginState();
        HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
        WCHAR buffer[64];
        Prepare(buffer, c);
        EXPECT_EQ(0, c.call(buffer)) << c.name;
        EXPECT_EQ(Utf8(c.output), Utf8(buffer)) << c.name;
        auto calls = HostCalls();
        ASSERT_EQ(1u, calls.size()) << c.name;
        EXPECT_EQ(c.kind, calls[0].kind) << c.name;
        EXPECT_TRUE(calls[0].stdoutRedirected) << c.name;
        EXPECT_TRUE(calls[0].stderrRedirected) << c.name;
        EXPECT_EQ(out, GetStdHandle(STD_OUTPUT_HANDLE)) << c.name;
        EXPECT_EQ(err, GetStdHandle(STD_ERROR_HANDLE)) << c.name;
    }
}

TEST_F(Silenced, HostFailureIsReturnedAndHandlesComeBack) {
    TakeCmdSetExpandResult(3);
    TakeCmdSetEvaluateResult(5);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    WCHAR buffer[16] = {'1', '/', '0', 0};
    EXPECT_EQ(3, ExpandSilently(buffer));
    EXPECT_EQ(5, EvaluateSilently(buffer));
    EXPECT_EQ(Utf8(WIDE("1/0")), Utf8(buffer));
    EXPECT_EQ(out, GetStdHandle(STD_OUTPUT_HANDLE));
    EXPECT_EQ(err, GetStdHandle(STD_ERROR_HANDLE));
}

#if !defined(_WIN32)
// The stand-in's handle log from entry `from` on (the resets before a test log their own).
std::vector<std::string> HandleLogFrom(size_t from) {
    const auto& log = standin::HandleLog();
    return std::vector<std::string>(log.begin() + long(from), log.end());
}

TEST_F(Silenced, HandleOrderOnTheStandin) {
    REQUIRE_WIN32_STANDIN();
    const std::vector<std::string> expected = {
        "get err",     "get out",     "open nul",    "set err nul",
        "set out nul", "set err fd2", "set out fd1", "close nul",
    };
    for (const CallCase& c : kCalls) {
        support::ResetPluginState();
        WCHAR buffer[64];
        Prepare(buffer, c);
        size_t from = standin::HandleLog().size();
        c.call(buffer);
        EXPECT_EQ(expected, HandleLogFrom(from)) << c.name;
        EXPECT_EQ(0, standin::OpenFileHandleCount()) << c.name;
    }
}

TEST_F(Silenced, RunsUnsilencedWhenNulCannotBeOpened) {
    REQUIRE_WIN32_STANDIN();
    const std::vector<std::string> expected = {"get err", "get out", "open failed"};
    for (const CallCase& c : kCalls) {
        support::ResetPluginState();
        standin::FailNulOpen(true);
        WCHAR buffer[64];
        Prepare(buffer, c);
        size_t from = standin::HandleLog().size();
        EXPECT_EQ(0, c.call(buffer)) << c.name;
        EXPECT_EQ(Utf8(c.output), Utf8(buffer)) << c.name;
        EXPECT_EQ(expected, HandleLogFrom(from)) << c.name;
        auto calls = HostCalls();
        ASSERT_EQ(1u, calls.size()) << c.name;
        EXPECT_FALSE(calls[0].stdoutRedirected) << c.name;
        EXPECT_FALSE(calls[0].stderrRedirected) << c.name;
    }
}
#endif

} // namespace
