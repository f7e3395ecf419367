#pragma once

// A method reference: an entry point together with the object it is bound
// to. This is how the silo hands its answer check and its line set-up to the
// host and to its own port. It is two words, allocates nothing and can be
// copied freely; the binary boundary turns it into the host's own pair of an
// entry point and an object.

namespace qmx {

template <class Signature>
class TMethodRef;

template <class R, class... Args>
class TMethodRef<R(Args...)> {
public:
    using TCode = R (*)(void* object, Args...);

    TMethodRef() = default;
    TMethodRef(TCode code, void* object) : FCode(code), FObject(object) {}

    explicit operator bool() const { return FCode != nullptr; }
    R operator()(Args... args) const { return FCode(FObject, args...); }

    TCode Code() const { return FCode; }
    void* Object() const { return FObject; }

    friend bool operator==(const TMethodRef&, const TMethodRef&) = default;

private:
    TCode FCode = nullptr;
    void* FObject = nullptr;
};

}  // namespace qmx
