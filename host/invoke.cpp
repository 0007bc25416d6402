#include "host/invoke.hpp"

namespace standin {

namespace {

// Builds the parameter list one code at a time: every pattern of doubles and pointers up to
// max_arguments has its own instantiation, so each call goes through the exact signature.
template <class R, class... Done>
R invoke(void* entry, const char* codes, const Slot* slots, Done... done) {
    if constexpr (sizeof...(Done) < max_arguments) {
        if (*codes == 'B') {
            return invoke<R>(entry, codes + 1, slots + 1, done..., slots->d);
        }
        if (*codes != '\0') {
            return invoke<R>(entry, codes + 1, slots + 1, done..., slots->p);
        }
    }
    return reinterpret_cast<R (*)(Done...)>(entry)(done...);
}

}  // namespace

XLOPER12* invoke_xloper(void* entry, const char* codes, const Slot* slots) {
    return invoke<XLOPER12*>(entry, codes, slots);
}

double invoke_double(void* entry, const char* codes, const Slot* slots) {
    return invoke<double>(entry, codes, slots);
}

}  // namespace standin
