#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "platform/FileUtil.h"
#include "tests/support/ProgramSigning.h"
#include "tests/support/ScopedTempDir.h"
#include "update/ProgramSignature.h"
#include "update/ProgramVersion.h"

namespace fs = std::filesystem;
using vm::CompareVersions;
using vm::ProgramRole;
using vm::SignatureCheck;
using vm::VersionOrder;

namespace {

TEST(CompareVersions, ComparesNumberByNumberNotAsText) {
    EXPECT_EQ(CompareVersions("1.020", "1.019"), VersionOrder::Newer);
    EXPECT_EQ(CompareVersions("1.019", "1.020"), VersionOrder::Older);
    EXPECT_EQ(CompareVersions("1.019", "1.019"), VersionOrder::Same);
    // Text order would get each of these wrong.
    EXPECT_EQ(CompareVersions("1.10", "1.9"), VersionOrder::Newer);
    EXPECT_EQ(CompareVersions("10.0", "9.999"), VersionOrder::Newer);
    EXPECT_EQ(CompareVersions("1.100", "1.99"), VersionOrder::Newer);
    EXPECT_EQ(CompareVersions("2", "1.999"), VersionOrder::Newer);
    // Leading zeros are padding, not digits.
    EXPECT_EQ(CompareVersions("1.019", "1.19"), VersionOrder::Same);
    EXPECT_EQ(CompareVersions("01.0020", "1.019"), VersionOrder::Newer);
    EXPECT_EQ(CompareVersions("1.000", "1.0"), VersionOrder::Same);
    // Numbers longer than any integer type.
    EXPECT_EQ(CompareVersions("1.100000000000000000000000001", "1.100000000000000000000000000"),
              VersionOrder::Newer);
    EXPECT_EQ(CompareVersions("99999999999999999999.1", "100000000000000000000.0"),
              VersionOrder::Older);
    EXPECT_EQ(CompareVersions(" 1.020\t", "1.019"), VersionOrder::Newer);
}

TEST(CompareVersions, UnequalLengthsCountMissingNumbersAsZero) {
    EXPECT_EQ(CompareVersions("1.019.1", "1.019"), VersionOrder::Newer);
    EXPECT_EQ(CompareVersions("1.019", "1.019.1"), VersionOrder::Older);
    EXPECT_EQ(CompareVersions("1.019.0", "1.019"), VersionOrder::Same);
    EXPECT_EQ(CompareVersions("1.019", "1.019.0.0"), VersionOrder::Same);
    EXPECT_EQ(CompareVersions("1", "1.019"), VersionOrder::Older);
    EXPECT_EQ(CompareVersions("2", "1.999.999"), VersionOrder::Newer);
    EXPECT_EQ(CompareVersions("1.2", "1.2.0.1"), VersionOrder::Older);
}

TEST(CompareVersions, GarbageIsNeverNewer) {
    for (const char* bad : {"", " ", "1..0", ".1", "1.", "v1.020", "1.020a", "1,020", "-1.0",
                            "+1.0", "1 .0", "1. 0", "1.0\n", "\xef\xbc\x91.020", "1.0x10", "?"}) {
        EXPECT_EQ(CompareVersions(bad, "1.019"), VersionOrder::Unreadable) << "[" << bad << "]";
    }
    EXPECT_EQ(CompareVersions(std::string("1.020\0", 6), "1.019"), VersionOrder::Unreadable);
    EXPECT_EQ(CompareVersions("1.020", "garbage"), VersionOrder::Unreadable);
}

class ProgramSignature : public ::testing::Test {
  protected:
    void SetUp() override {
        if (vm::test::SigningKey().empty()) GTEST_SKIP() << "built with release keys only";
        ASSERT_TRUE(platform::WriteFileAtomic(program, std::string("\x7f"
                                                                   "ELF new build\0x",
                                                                   16)));
    }
    SignatureCheck Check(const std::string& text, ProgramRole role = ProgramRole::Client,
                         std::optional<std::string> version = std::string("1.020")) {
        return vm::VerifyProgramSignature(program, text, role, version);
    }
    // text with its line starting with name replaced by line.
    static std::string Replaced(std::string text, const std::string& name,
                                const std::string& line) {
        const std::size_t at = text.find("\n" + name + " ") + 1;
        text.replace(at, text.find('\n', at) - at, line);
        return text;
    }

    vm::test::ScopedTempDir work;
    fs::path program = work / "Velmora-TVRN.new";
};

TEST_F(ProgramSignature, SignedProgramVerifiesAndNamesItsVersion) {
    const std::string text = vm::test::SignatureOf(program, ProgramRole::Client, "1.020");
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.rfind("velmora-signature 1\nrole client\nversion 1.020\ned25519 ", 0), 0u);
    EXPECT_EQ(text.size(), std::string("velmora-signature 1\nrole client\nversion 1.020\n").size() +
                               8 + 128 + 1);
    std::string version;
    EXPECT_EQ(
        vm::VerifyProgramSignature(program, text, ProgramRole::Client, std::nullopt, &version),
        SignatureCheck::Valid);
    EXPECT_EQ(version, "1.020");
    EXPECT_EQ(Check(text), SignatureCheck::Valid);

    // Written and read back as the updater does.
    ASSERT_TRUE(vm::test::SignBeside(program, ProgramRole::Client, "1.020"));
    const auto read = vm::ReadSignatureFile(program.string() + ".sig");
    ASSERT_TRUE(read);
    EXPECT_EQ(Check(*read), SignatureCheck::Valid);
}

TEST_F(ProgramSignature, AnyChangeToTheProgramOrTheSignedLinesIsRefused) {
    const std::string text = vm::test::SignatureOf(program, ProgramRole::Client, "1.020");
    ASSERT_FALSE(text.empty());
    // A signed role or version that does not fit the question is told apart...
    EXPECT_EQ(Check(text, ProgramRole::Updater), SignatureCheck::WrongRole);
    EXPECT_EQ(Check(text, ProgramRole::Client, "1.021"), SignatureCheck::WrongVersion);
    // ...and rewriting those lines breaks the signature.
    EXPECT_EQ(Check(Replaced(text, "version", "version 1.021"), ProgramRole::Client, "1.021"),
              SignatureCheck::BadSignature);
    EXPECT_EQ(Check(Replaced(text, "role", "role updater"), ProgramRole::Updater),
              SignatureCheck::BadSignature);
    // One flipped bit of the signature or of the program.
    std::string flipped = text;
    flipped[flipped.size() - 2] = flipped[flipped.size() - 2] == '0' ? '1' : '0';
    EXPECT_EQ(Check(flipped), SignatureCheck::BadSignature);
    auto bytes = platform::ReadWholeFile(program).value();
    bytes[5] ^= 1;
    ASSERT_TRUE(platform::WriteFileAtomic(program, bytes));
    EXPECT_EQ(Check(text), SignatureCheck::BadSignature);
    fs::remove(program);
    EXPECT_EQ(Check(text), SignatureCheck::Unreadable);
}

TEST_F(ProgramSignature, KeyThatIsNotBuiltInIsRefused) {
    const fs::path key = work / "other.pem";
    ASSERT_TRUE(vm::test::MakeUntrustedKey(key));
    const std::string text = vm::test::SignatureOf(program, ProgramRole::Client, "1.020", key);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(Check(text), SignatureCheck::BadSignature);
    // The same text passes against that key: the refusal is about trust, not the format.
    const std::vector<std::string> other{platform::ReadWholeFile(key.string() + ".pub").value()};
    EXPECT_EQ(
        vm::VerifyProgramSignature(program, text, ProgramRole::Client, "1.020", nullptr, other),
        SignatureCheck::Valid);
    // A private key is no public key.
    const std::vector<std::string> wrong{platform::ReadWholeFile(key).value(), "garbage"};
    EXPECT_EQ(
        vm::VerifyProgramSignature(program, text, ProgramRole::Client, "1.020", nullptr, wrong),
        SignatureCheck::BadSignature);
}

TEST_F(ProgramSignature, TextsThatAreNotSignaturesAreMalformed) {
    const std::string text = vm::test::SignatureOf(program, ProgramRole::Client, "1.020");
    ASSERT_FALSE(text.empty());
    std::string crlf;
    for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    std::string upper = text;
    for (std::size_t i = text.find("ed25519 ") + 8; i + 1 < upper.size(); ++i)
        upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(upper[i])));
    const std::vector<std::string> bad{
        "",
        "<html>404 Not Found</html>",
        text.substr(0, text.size() - 1),                                // last line without its LF
        text + "extra line\n",                                          // a fifth line
        crlf,                                                           // CR LF line ends
        upper,                                                          // hex is lower case
        Replaced(text, "ed25519", "ed25519 00"),                        // too short
        Replaced(text, "ed25519", "ed25519 " + std::string(130, '0')),  // too long
        Replaced(text, "version", "version "),                          // no version
        Replaced(text, "role", "kind client"),                          // unknown field
        text + std::string(2000, '\n'),                                 // longer than any signature
    };
    for (const std::string& t : bad) EXPECT_EQ(Check(t), SignatureCheck::Malformed) << t;
    EXPECT_EQ(Check("velmora-signature 1\nrole client\nversion 1.020\ned25519 " +
                    std::string(128, 'a') + "\n"),
              SignatureCheck::BadSignature);

    // The file reader refuses anything longer than a signature can be.
    ASSERT_TRUE(
        platform::WriteFileAtomic(work / "big.sig", std::string(vm::kMaxSignatureBytes + 1, 'a')));
    EXPECT_FALSE(vm::ReadSignatureFile(work / "big.sig"));
    EXPECT_FALSE(vm::ReadSignatureFile(work / "missing.sig"));
}

TEST_F(ProgramSignature, SigningNeedsAnEd25519PrivateKeyAndAOneLineVersion) {
    const std::string digest = vm::Sha512HexOfFile(program).value();
    const std::string devKey = platform::ReadWholeFile(vm::test::SigningKey()).value();
    std::string error;
    EXPECT_FALSE(
        vm::SignProgram(digest, ProgramRole::Client, "1.020\nrole updater", devKey, error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(vm::SignProgram(digest, ProgramRole::Client, "", devKey, error));
    const fs::path ec = work / "ec.pem";
    ASSERT_EQ(std::system(("openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out '" +
                           ec.string() + "' 2>/dev/null")
                              .c_str()),
              0);
    for (const std::string& key :
         {platform::ReadWholeFile(ec).value(), std::string("garbage"),
          platform::ReadWholeFile(vm::test::SigningKey().string()).value().substr(0, 40)}) {
        error.clear();
        EXPECT_FALSE(vm::SignProgram(digest, ProgramRole::Client, "1.020", key, error));
        EXPECT_EQ(error, "签名密钥不是 PEM 格式的 Ed25519 私钥。");
    }
}

TEST(ProgramDigest, FileAndBytesGiveTheStandardSha512) {
    vm::test::ScopedTempDir work;
    ASSERT_TRUE(platform::WriteFileAtomic(work / "abc", "abc"));
    const std::string abc =
        "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
        "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f";
    EXPECT_EQ(vm::Sha512Hex("abc"), abc);
    EXPECT_EQ(vm::Sha512HexOfFile(work / "abc"), abc);
    // Larger than one read block.
    std::string big(200000, 'x');
    ASSERT_TRUE(platform::WriteFileAtomic(work / "big", big));
    EXPECT_EQ(vm::Sha512HexOfFile(work / "big"), vm::Sha512Hex(big));
    EXPECT_FALSE(vm::Sha512HexOfFile(work / "missing"));
}

}  // namespace
