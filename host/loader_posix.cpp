#include <dlfcn.h>

#include <stdexcept>

#include "host/loader.hpp"

namespace standin {

Library::Library(const std::string& path) : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (handle_ == nullptr) {
        const char* why = dlerror();
        throw std::runtime_error("cannot load " + path + ": " + (why ? why : "unknown error"));
    }
}

Library::~Library() {
    dlclose(handle_);
}

void* Library::symbol(const std::string& name) const {
    return dlsym(handle_, name.c_str());
}

}  // namespace standin
