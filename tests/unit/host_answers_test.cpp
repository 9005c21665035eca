// Hosts that write as much as they like: every buffer the plugin hands to ExpandVariables or
// Evaluate takes answers of any length up to a whole edit line, and a full buffer without a
// terminator is refused. The stand-in host writes each answer whole (or fills the buffer to an
// exact count with no terminator); the calls run below a canary, so a write past one of the
// plugin's stack buffers shows as a changed canary where no sanitizer watches (under wine), and
// as a sanitizer report natively.
#include <cstring>
#include <functional>

#include "src/actions/expand.h"
#include "src/keys/keycodec.h"
#include "src/plugin/exports.h"
#include "src/plugin/messages.h"
#include "src/plugin/settings.h"
#include "tests/support/edit_line.h"
#include "tests/support/plugin_state.h"

using support::EditLine;
using support::Repeat;
using support::Text;

namespace {

constexpr size_t CANARY_BYTES = 256u << 10; // above the deepest export's own frames
constexpr unsigned char CANARY = 0xA5;

// Runs `body` with a canary in the frame above it: a host write that runs up past a buffer of
// the plugin's goes through the frames between into the canary. True when it is untouched.
[[gnu::noinline]] bool CanaryIntactAfter(const std::function<void()>& body) {
    volatile unsigned char canary[CANARY_BYTES];
    std::memset(const_cast<unsigned char*>(canary), CANARY, CANARY_BYTES);
    body();
    for (size_t i = 0; i < CANARY_BYTES; ++i)
        if (canary[i] != CANARY) return false;
    return true;
}

constexpr size_t WHOLE_BUFFER = HOST_BUFFER_CAPACITY;

// Every answer mode and length tried at each call site, from a fresh plugin with the host's
// honk as the beep: whole answers up to a line (65,533 is the longest that fits beside "x "),
// and in the fill mode also a whole buffer with no terminator.
void ForEachAnswer(const std::function<void(int mode, size_t length, const Text& answer)>& run) {
    for (int mode : {TAKECMD_WHOLE, TAKECMD_FILL}) {
        std::vector<size_t> lengths = {8191, 8192, 10000, 40000, 65533, size_t(MAX_LINE_LENGTH)};
        if (mode == TAKECMD_FILL) lengths.push_back(WHOLE_BUFFER);
        for (size_t n : lengths) {
            support::ResetPluginState();
            PluginSettings.ErrorBeep = 1;
            TakeCmdSetAnswerMode(mode, int(n));
            run(mode, n, Repeat(mode == TAKECMD_FILL ? 'f' : '7', n));
        }
    }
}

class HostAnswers : public support::PluginTest {
  protected:
    void SetUp() override {
        support::PluginTest::SetUp();
        PluginSettings.ErrorBeep = 1; // the host's honk: countable in both builds
    }
    void TearDown() override { TakeCmdSetAnswerMode(TAKECMD_POLITE, 0); }
};

// The expand keystroke on "x %v": the escape query and the reference each get the answer.
// "x " and the expansion fit the line up to 65,533 units.
TEST_F(HostAnswers, ExpandSplicesWhatFitsAndRefusesTheRest) {
    ForEachAnswer([](int mode, size_t n, const Text& answer) {
        TakeCmdSetEscapeOption(answer.c_str()); // far too long: "^" serves
        TakeCmdSetExpansion(WIDE("%v"), answer.c_str());
        EditLine edit(WIDE("x %v"), 4, DEFAULT_HOTKEY);
        EXPECT_TRUE(CanaryIntactAfter([&] { key(&edit.event); })) << mode << " " << n;
        bool fits = n < WHOLE_BUFFER && 2 + n <= size_t(MAX_LINE_LENGTH);
        EXPECT_EQ(fits ? WIDE("x ") + answer : Text(WIDE("x %v")), edit.Line()) << n;
        EXPECT_EQ(fits ? long(2 + n) : 4, edit.Caret()) << n;
        EXPECT_EQ(fits ? 0 : 1, TakeCmdHonkCount()) << mode << " " << n;
        EXPECT_EQ(0, edit.event.keyCode);
    });
}

// The math keystroke on "1+1": the value replaces the whole line when it fits.
TEST_F(HostAnswers, MathSplicesWhatFitsAndRefusesTheRest) {
    ForEachAnswer([](int mode, size_t n, const Text& answer) {
        TakeCmdSetEvaluation(WIDE("1+1"), answer.c_str());
        EditLine edit(WIDE("1+1"), 3, DEFAULT_MATH_HOTKEY);
        EXPECT_TRUE(CanaryIntactAfter([&] { key(&edit.event); })) << mode << " " << n;
        bool fits = n <= size_t(MAX_LINE_LENGTH);
        EXPECT_EQ(fits ? answer : Text(WIDE("1+1")), edit.Line()) << n;
        EXPECT_EQ(fits ? long(n) : 3, edit.Caret()) << n;
        EXPECT_EQ(fits ? 0 : 1, TakeCmdHonkCount()) << mode << " " << n;
    });
}

// Start-up: the version probe and the banner test read a long answer as no version and no
// banner; the message prefix prints the batch file's name whole, or cut where the host left
// no terminator.
TEST_F(HostAnswers, StartupAndMessagePrefixTakeAnyAnswer) {
    ForEachAnswer([](int mode, size_t n, const Text& answer) {
        TakeCmdSetExpansion(WIDE("%_4ver"), answer.c_str());
        TakeCmdSetExpansion(WIDE("%[_transient]%[_pipe]%[noloadmsg]"), answer.c_str());
        EXPECT_TRUE(CanaryIntactAfter([] { InitializePlugin(); })) << mode << " " << n;
        EXPECT_EQ(0, hostVersion) << n;
        EXPECT_EQ(Text(), support::HostStdout()) << n; // no banner

        TakeCmdSetExpansion(WIDE("%_batch"), WIDE("1"));
        TakeCmdSetExpansion(WIDE("%_batchname [%_batchline]  "), answer.c_str());
        EXPECT_TRUE(CanaryIntactAfter([] { PrintMessagePrefix(); })) << mode << " " << n;
        Text printed = answer.substr(0, HOST_BUFFER_CAPACITY - 1);
        EXPECT_EQ(WIDE("Tallix plugin: ") + printed, support::HostStderr()) << n;
    });
}

// The polite host refuses an answer longer than a whole buffer; the plugin beeps.
TEST_F(HostAnswers, PoliteHostRefusesAnswersBeyondABuffer) {
    TakeCmdSetExpansion(WIDE("%v"), Repeat('e', HOST_BUFFER_CAPACITY).c_str());
    EditLine edit(WIDE("%v"), 2, DEFAULT_HOTKEY);
    key(&edit.event);
    EXPECT_EQ(Text(WIDE("%v")), edit.Line());
    EXPECT_EQ(1, TakeCmdHonkCount());
}

} // namespace
