#pragma once
// One lambda per alternative of a std::variant, for std::visit.

namespace marlow {

template <class... Handlers> struct Overloads : Handlers... { using Handlers::operator()...; };
template <class... Handlers> Overloads(Handlers...) -> Overloads<Handlers...>;

} // namespace marlow
