#pragma once

#include <string>

namespace standin {

// An add-in file loaded with the platform's loader, unloaded when destroyed.
class Library {
  public:
    // Throws std::runtime_error with the loader's message when the file cannot be loaded.
    explicit Library(const std::string& path);
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // The exported symbol of that exact name, or nullptr.
    void* symbol(const std::string& name) const;

  private:
    void* handle_;
};

}  // namespace standin
