// Every export of the plugin, driven as a host drives it, in the situations that reach its
// deepest and widest code: long adversarial lines, every command path, both host generations.
// Shared by the allocation check and the stack check.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace limits {

struct Scenario {
    std::string exportName; // the export this scenario measures
    std::string what;
    std::function<void()> prepare; // set-up of the stand-ins; not measured
    std::function<void()> run;     // the export calls; measured
};

const std::vector<Scenario>& Scenarios();

} // namespace limits
