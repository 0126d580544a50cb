#pragma once

// The one way an operation that can fail says so: it returns a Result, which
// holds either what the operation made or a Failure, whose text is for the
// operator (what went wrong and, where we know, what to do next). No
// out-parameters, no "last error" to fetch afterwards.

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace marlow {

struct Failure {
    std::string text;
};

template <typename T> class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}

    bool Ok() const { return state_.index() == 0; }
    explicit operator bool() const { return Ok(); }

    T& operator*() & { return Value(); }
    const T& operator*() const& { return Value(); }
    T&& operator*() && { return std::move(*this).Value(); }
    T* operator->() { return &Value(); }
    const T* operator->() const { return &Value(); }
    T& Value() & {
        assert(Ok());
        return std::get<0>(state_);
    }
    const T& Value() const& {
        assert(Ok());
        return std::get<0>(state_);
    }
    T&& Value() && {
        assert(Ok());
        return std::get<0>(std::move(state_));
    }

    // The failure's text; empty when the operation succeeded.
    const std::string& Error() const {
        static const std::string kNone;
        return Ok() ? kNone : std::get<1>(state_).text;
    }

private:
    std::variant<T, Failure> state_;
};

// An operation that makes nothing: it succeeded, or here is why not.
template <> class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : failure_(std::move(failure)), ok_(false) {}

    bool Ok() const { return ok_; }
    explicit operator bool() const { return ok_; }
    const std::string& Error() const { return failure_.text; }

private:
    Failure failure_;
    bool ok_ = true;
};

using Status = Result<void>;

} // namespace marlow
