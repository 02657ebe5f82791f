// A callable handed down for the length of a call. Unlike std::function it
// neither copies nor owns the callable: it keeps its address and one plain
// function that calls it, so each lambda passed costs one small thunk
// instead of a manager, an invoker and a destructor in every caller's
// unwinding path. The callable must outlive the reference, which holds for
// an argument (a temporary lives to the end of the call's full expression).
#pragma once

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace kelp {

template <typename Signature>
class FunctionRef;

template <typename R, typename... Args>
class FunctionRef<R(Args...)> {
public:
    FunctionRef() = default;

    // An empty std::function stays empty here, as a test of the reference
    // tells, instead of throwing once called.
    FunctionRef(const std::function<R(Args...)>& function) {
        if (function) bind(function);
    }

    template <typename F, typename = std::enable_if_t<!std::is_same_v<std::remove_cvref_t<F>, FunctionRef> &&
                                                      !std::is_same_v<std::remove_cvref_t<F>, std::function<R(Args...)>> &&
                                                      std::is_invocable_r_v<R, F&, Args...>>>
    FunctionRef(F&& callable) {
        bind(callable);
    }

    explicit operator bool() const { return call_ != nullptr; }

    R operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

private:
    template <typename F>
    void bind(F& callable) {
        object_ = const_cast<void*>(static_cast<const void*>(std::addressof(callable)));
        call_ = [](void* object, Args... args) -> R {
            return std::invoke(*static_cast<F*>(object), std::forward<Args>(args)...);
        };
    }

    void* object_ = nullptr;
    R (*call_)(void*, Args...) = nullptr;
};

}  // namespace kelp
