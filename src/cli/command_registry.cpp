#include "cli/command_registry.h"

namespace marlow::cli {

namespace {
std::vector<Command>& Commands() {
    static std::vector<Command> commands;
    return commands;
}
} // namespace

void CommandRegistry::Add(Command command) {
    Commands().push_back(std::move(command));
}

const std::vector<Command>& CommandRegistry::All() {
    return Commands();
}

const Command* CommandRegistry::Find(const std::string& name) {
    for (const Command& c : Commands())
        if (c.name == name)
            return &c;
    return nullptr;
}

} // namespace marlow::cli
