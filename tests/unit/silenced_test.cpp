// Silenced host calls: the host sees "nul" as both standard streams during the call, the saved
// handles come back afterwards, and the call still runs when "nul" cannot be opened.
#include "src/host/silenced.h"
#include "tests/support/plugin_state.h"

#if !defined(_WIN32)
#include "standin/win32/win32_control.h"
#endif

#include <string>

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
// The nul device opened for a call is closed again, whatever the host answered.
TEST_F(Silenced, NulIsClosedAfterEveryCall) {
    REQUIRE_WIN32_STANDIN();
    WCHAR buffer[16] = {'1', 0};
    for (int hostResult : {0, 3}) {
        TakeCmdSetExpandResult(hostResult);
        TakeCmdSetEvaluateResult(hostResult);
        EXPECT_EQ(hostResult, ExpandSilently(buffer));
        EXPECT_EQ(hostResult, EvaluateSilently(buffer));
        EXPECT_EQ(0, standin::OpenFileHandleCount()) << hostResult;
    }
}

TEST_F(Silenced, RunsUnsilencedWhenNulCannotBeOpened) {
    REQUIRE_WIN32_STANDIN();
    for (const CallCase& c : kCalls) {
        support::ResetPluginState();
        standin::FailNulOpen(true);
        WCHAR buffer[64];
        Prepare(buffer, c);
        HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
        EXPECT_EQ(0, c.call(buffer)) << c.name;
        EXPECT_EQ(Utf8(c.output), Utf8(buffer)) << c.name;
        EXPECT_EQ(out, GetStdHandle(STD_OUTPUT_HANDLE)) << c.name;
        EXPECT_EQ(err, GetStdHandle(STD_ERROR_HANDLE)) << c.name;
        auto calls = HostCalls();
        ASSERT_EQ(1u, calls.size()) << c.name;
        EXPECT_FALSE(calls[0].stdoutRedirected) << c.name;
        EXPECT_FALSE(calls[0].stderrRedirected) << c.name;
    }
}
#endif

} // namespace
