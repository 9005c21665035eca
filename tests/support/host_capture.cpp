#include "host_capture.h"

#include "standin/wideformat.h"

namespace support {

Text HostStdout() {
    return Text(TakeCmdStdout());
}
Text HostStderr() {
    return Text(TakeCmdStderr());
}

std::vector<HostCall> HostCalls() {
    std::vector<HostCall> calls;
    for (int i = 0; i < TakeCmdCallCount(); ++i) {
        int kind = 0, out = 0, err = 0;
        const WCHAR* input = nullptr;
        TakeCmdCall(i, &kind, &input, &out, &err);
        calls.push_back({kind, Text(input), out != 0, err != 0});
    }
    return calls;
}

std::vector<Text> HostInputs(int kind) {
    std::vector<Text> inputs;
    for (const HostCall& call : HostCalls())
        if (call.kind == kind) inputs.push_back(call.input);
    return inputs;
}

std::string Utf8(const Text& text) {
    return standin::ToUtf8(std::u16string(text.begin(), text.end()));
}

} // namespace support
