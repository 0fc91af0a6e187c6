#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vm {

// What `velmora publish` is asked to do.
struct PublishOptions {
    std::filesystem::path addonsDir;  // add-on folders and loose files
    std::filesystem::path mirrorDir;  // the mirror tree, created or extended
    std::string setName;
    std::optional<std::string> folder;   // "/PATH"; derived from the set name when absent
    std::optional<std::string> version;  // kept from an earlier run, else this program's own
    // A local file (copied to "Velmora-TVRN/" on the mirror) or a path on the mirror ("/...").
    std::optional<std::string> client;
    std::optional<std::string> updater;
    bool noCache = false;  // sets NoCacheMode "1"; without it an earlier value stays
    std::optional<std::filesystem::path> changelog;
    std::vector<std::string> optionalFolders;  // add-ons marked X-Velmora-Option "1"
    // An Ed25519 private key (PEM): the client and the updater the update information names
    // get a detached signature NAME.sig beside them (ProgramSignature.h), for the `Version`
    // published. Without it a program copied in this run loses any older signature.
    std::optional<std::filesystem::path> signingKey;
};

struct PublishResult {
    bool ok = false;
    std::string error;  // in the program's words
    std::string setFolder;
    std::size_t addOns = 0;
    std::size_t files = 0;
    std::string infoChecksum;  // the two lines of checksum.txt
    std::string listChecksum;
    std::vector<std::string> signatures;  // the signature files written, as mirror paths
};

// The folder a set is published under when none is given: "/" + the name when it is plain
// ASCII letters, digits, '.', '_' and '-', else "/set-" + the first 8 digits of its MD5.
std::string DefaultSetFolder(const std::string& setName);

// Writes a mirror another machine can serve as it is: every file of the set below
// folder + "/Interface/" together with its ".z" archive, folder + "/filelist.xml.z", and
// "Velmora-TVRN/Info.z" listing every set published so far with "Velmora-TVRN/checksum.txt"
// (MD5 of "Info", CR LF, MD5 of the "filelist.xml" of the first set in key order), and with
// a signing key the programs' signatures. Every
// check runs before the first file is written; each file is replaced atomically, the
// checksum file last. Runs on the calling thread.
[[nodiscard]] PublishResult PublishMirror(const PublishOptions& options);

}  // namespace vm
