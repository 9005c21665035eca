// The error-message prefix: the plugin's name, and inside a batch file its name and line.
#include "src/host/host.h"
#include "src/plugin/messages.h"
#include "tests/support/plugin_state.h"

using support::HostCalls;
using support::HostStderr;
using support::Text;
using support::Utf8;

namespace {

class MessagePrefix : public support::PluginTest {};

// Writes one error line as every caller does: the prefix, then the message on standard error.
void ReportError(const WCHAR* message) {
    PrintMessagePrefix();
    Qprintf(GetStdHandle(STD_ERROR_HANDLE), WIDE("%s\r\n"), message);
}

TEST_F(MessagePrefix, OutsideAndInsideABatchFile) {
    struct Case {
        const char* what;
        const WCHAR* batch; // %_batch
        const WCHAR* expected;
    };
    const Case cases[] = {
        {"no batch file", WIDE("0"), WIDE("Tallix plugin: boom\r\n")},
        {"only the first unit counts", WIDE("05"), WIDE("Tallix plugin: boom\r\n")},
        {"a batch file", WIDE("1"), WIDE("Tallix plugin: C:\\jobs\\run.btm [12]  boom\r\n")},
        {"nested batch files", WIDE("2"), WIDE("Tallix plugin: C:\\jobs\\run.btm [12]  boom\r\n")},
        {"empty _batch is not 0", WIDE(""),
         WIDE("Tallix plugin: C:\\jobs\\run.btm [12]  boom\r\n")},
    };
    for (const Case& c : cases) {
        support::ResetPluginState();
        TakeCmdSetVariable(WIDE("_batch"), c.batch);
        TakeCmdSetVariable(WIDE("_batchname"), WIDE("C:\\jobs\\run.btm"));
        TakeCmdSetVariable(WIDE("_batchline"), WIDE("12"));
        ReportError(WIDE("boom"));
        EXPECT_EQ(Utf8(c.expected), Utf8(HostStderr())) << c.what;
        EXPECT_EQ(Text(), Text(TakeCmdStdout())) << c.what;
    }
}

TEST_F(MessagePrefix, NameIsWrittenBeforeAnythingIsExpanded) {
    TakeCmdSetVariable(WIDE("_batch"), WIDE("1"));
    PrintMessagePrefix();
    auto calls = HostCalls();
    ASSERT_EQ(4u, calls.size());
    EXPECT_EQ('Q', calls[0].kind);
    EXPECT_EQ(Utf8(WIDE("%s plugin: ")), Utf8(calls[0].input));
    EXPECT_EQ('E', calls[1].kind);
    EXPECT_EQ(Utf8(WIDE("%_batch")), Utf8(calls[1].input));
    EXPECT_EQ('E', calls[2].kind);
    EXPECT_EQ(Utf8(WIDE("%_batchname [%_batchline]  ")), Utf8(calls[2].input));
    EXPECT_EQ('Q', calls[3].kind);
    EXPECT_EQ(Utf8(WIDE("%s")), Utf8(calls[3].input));
    // Plain calls: the prefix is never silenced.
    for (const auto& call : calls) EXPECT_FALSE(call.stdoutRedirected || call.stderrRedirected);
}

TEST_F(MessagePrefix, PercentSignInBatchFileNamePrintsLiterally) {
    TakeCmdSetVariable(WIDE("_batch"), WIDE("1"));
    TakeCmdSetVariable(WIDE("_batchname"), WIDE("D:\\100%%d %s.btm"));
    TakeCmdSetVariable(WIDE("_batchline"), WIDE("3"));
    PrintMessagePrefix();
    EXPECT_EQ(Utf8(WIDE("Tallix plugin: D:\\100%%d %s.btm [3]  ")), Utf8(HostStderr()));
}

TEST_F(MessagePrefix, FailedExpansionsStillLeaveTheName) {
    // A failed expansion leaves "%_batch" in the buffer, which does not start with 0, so the
    // batch step runs and prints its unexpanded text: the host decided nothing here.
    TakeCmdSetExpandResult(1);
    PrintMessagePrefix();
    EXPECT_EQ(Utf8(WIDE("Tallix plugin: %_batchname [%_batchline]  ")), Utf8(HostStderr()));
}

} // namespace
