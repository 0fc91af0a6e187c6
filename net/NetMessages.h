#pragma once

#include <filesystem>
#include <string>

namespace vm {

// Message boxes of the network layer go through the application's prompter.
void ShowNetMessage(const std::string& text);

// Texts for failures that have no fixed text of their own.
std::string NetworkErrorText(const std::string& detail);
std::string FileErrorText(const std::filesystem::path& path, int err);

}  // namespace vm
