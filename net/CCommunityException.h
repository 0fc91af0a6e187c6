#pragma once

#include <exception>
#include <string>

namespace vm {

// Base of the community client's exceptions: an int code and its text.
class CCommunityException : public std::exception {
  public:
    CCommunityException(int code, std::string text) : m_code(code), m_text(std::move(text)) {}
    int GetCode() const noexcept { return m_code; }
    const char* what() const noexcept override { return m_text.c_str(); }

  private:
    int m_code;
    std::string m_text;
};

}  // namespace vm
