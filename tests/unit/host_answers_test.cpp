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

// The answer lengths tried at every call site. In the fill mode the host writes that many
// units with no terminator; the last one fills a whole buffer.
const size_t kAnswerLengths[] = {8191, 8192, 10000, 40000, size_t(MAX_LINE_LENGTH)};
constexpr size_t WHOLE_BUFFER = HOST_BUFFER_CAPACITY;

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
    for (int mode : {TAKECMD_WHOLE, TAKECMD_FILL}) {
        std::vector<size_t> lengths(std::begin(kAnswerLengths), std::end(kAnswerLengths));
        lengths.push_back(65533); // the longest that fits beside "x "
        if (mode == TAKECMD_FILL) lengths.push_back(WHOLE_BUFFER);
        for (size_t n : lengths) {
            support::ResetPluginState();
            PluginSettings.ErrorBeep = 1;
            const Text answer = Repeat(mode == TAKECMD_FILL ? 'f' : 'e', n);
            TakeCmdSetAnswerMode(mode, int(n));
            TakeCmdSetEscapeOption(answer.c_str()); // far too long: "^" serves
            TakeCmdSetExpansion(WIDE("%v"), answer.c_str());
            EditLine edit(WIDE("x %v"), 4, DEFAULT_HOTKEY);
            EXPECT_TRUE(CanaryIntactAfter([&] { key(&edit.event); })) << mode << " " << n;
            bool fits = n < WHOLE_BUFFER && 2 + n <= size_t(MAX_LINE_LENGTH);
            EXPECT_EQ(fits ? WIDE("x ") + answer : Text(WIDE("x %v")), edit.Line()) << n;
            EXPECT_EQ(fits ? long(2 + n) : 4, edit.Caret()) << n;
            EXPECT_EQ(fits ? 0 : 1, TakeCmdHonkCount()) << mode << " " << n;
            EXPECT_EQ(0, edit.event.keyCode);
        }
    }
}

// The math keystroke on "1+1": the value replaces the whole line when it fits.
TEST_F(HostAnswers, MathSplicesWhatFitsAndRefusesTheRest) {
    for (int mode : {TAKECMD_WHOLE, TAKECMD_FILL}) {
        std::vector<size_t> lengths(std::begin(kAnswerLengths), std::end(kAnswerLengths));
        if (mode == TAKECMD_FILL) lengths.push_back(WHOLE_BUFFER);
        for (size_t n : lengths) {
            support::ResetPluginState();
            PluginSettings.ErrorBeep = 1;
            const Text answer = Repeat(mode == TAKECMD_FILL ? 'f' : '7', n);
            TakeCmdSetAnswerMode(mode, int(n));
            TakeCmdSetEvaluation(WIDE("1+1"), answer.c_str());
            EditLine edit(WIDE("1+1"), 3, DEFAULT_MATH_HOTKEY);
            EXPECT_TRUE(CanaryIntactAfter([&] { key(&edit.event); })) << mode << " " << n;
            bool fits = n <= size_t(MAX_LINE_LENGTH);
            EXPECT_EQ(fits ? answer : Text(WIDE("1+1")), edit.Line()) << n;
            EXPECT_EQ(fits ? long(n) : 3, edit.Caret()) << n;
            EXPECT_EQ(fits ? 0 : 1, TakeCmdHonkCount()) << mode << " " << n;
        }
    }
}

// Start-up: the version probe and the banner test read a long answer as no version and no
// banner; the message prefix prints the batch file's name whole, or cut where the host left
// no terminator.
TEST_F(HostAnswers, StartupAndMessagePrefixTakeAnyAnswer) {
    for (int mode : {TAKECMD_WHOLE, TAKECMD_FILL}) {
        std::vector<size_t> lengths(std::begin(kAnswerLengths), std::end(kAnswerLengths));
        if (mode == TAKECMD_FILL) lengths.push_back(WHOLE_BUFFER);
        for (size_t n : lengths) {
            support::ResetPluginState();
            const Text answer = Repeat(mode == TAKECMD_FILL ? 'f' : '2', n);
            TakeCmdSetAnswerMode(mode, int(n));
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
        }
    }
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
