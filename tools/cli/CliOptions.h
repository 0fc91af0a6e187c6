#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vm::cli {

struct CliCommand;

// Options of a sub-command: "--name VALUE", "--name=VALUE" and plain flags "--name".
// Unknown options or missing values end with a usage message.
class CliOptions {
  public:
    CliOptions(std::vector<std::string> valueOptions, std::vector<std::string> flags)
        : m_valueOptions(std::move(valueOptions)), m_flags(std::move(flags)) {}

    // false (with the message in Error()) for an argument that is not one of the options.
    bool Parse(const std::vector<std::string>& args);
    const std::string& Error() const { return m_error; }

    std::optional<std::string> Value(const std::string& name) const;
    bool Flag(const std::string& name) const;
    bool HelpRequested() const { return m_help; }

  private:
    std::vector<std::string> m_valueOptions;
    std::vector<std::string> m_flags;
    std::vector<std::pair<std::string, std::string>> m_values;
    std::vector<std::string> m_setFlags;
    bool m_help = false;
    std::string m_error;
};

// The common start of a sub-command: parses args into options and prepares the application.
// nullopt when the command should go on; otherwise the exit status to end with (after a
// usage error, the help text, or a program folder that does not exist).
std::optional<int> StartCommand(const CliCommand& command, CliOptions& options,
                                const std::vector<std::string>& args);

// A sub-command with words of its own ("velmora obsoleted restore NAME"): splits args into
// those words and the options StartCommand parses ("--program-dir DIR" keeps its value).
struct WordsAndOptions {
    std::vector<std::string> words;
    std::vector<std::string> options;
};
WordsAndOptions SplitWords(const std::vector<std::string>& args);

// Points the application at its program folder (the one holding "Velmora.ini" for a portable
// copy; by default the folder of this executable; a packaged install keeps its settings in the
// user's XDG folders, app/ProgramLocations.h), installs the crash report, the game-folder resolver
// and a terminal prompter, and resolves the game folder as the window program does at start. false,
// after printing why, when the folder does not exist.
bool PrepareApp(const std::optional<std::string>& programDir);

// How the terminal prompter answers questions: asks on a terminal (and answers "no" when
// there is none), or answers every one yes (--yes) or no (--no).
enum class Answers { Ask, Yes, No };
void SetAnswers(Answers answers);

// Prints a failure in the program's words to stderr.
void PrintError(const std::string& text);

}  // namespace vm::cli
