// The station's start-up as an ordered list of named steps. The station fills
// the list with its own steps and runs it once; a trace sees each step's name
// before it runs, which is how tests check the order and where a failure
// stopped it.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace monitor {

class StartupSequence
{
public:
    using Step = std::function<void()>;
    using Trace = std::function<void(std::string_view stepName)>;

    void add(std::string name, Step step) { m_steps.push_back({std::move(name), std::move(step)}); }

    // Runs every step in order. A step that throws ends the run there; the
    // exception reaches the caller.
    void run(const Trace& trace = {}) const
    {
        for (const auto& [name, step] : m_steps) {
            if (trace)
                trace(name);
            step();
        }
    }

    std::size_t size() const { return m_steps.size(); }

private:
    struct Named
    {
        std::string name;
        Step step;
    };
    std::vector<Named> m_steps;
};

} // namespace monitor
