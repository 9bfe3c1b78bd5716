// quillon-sign: the publisher's tool for update keys, manifests and self-test vectors.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tools/quillon-sign/bundle_zip.h"
#include "tools/quillon-sign/documents.h"
#include "tools/quillon-sign/signer.h"
#include "update/bundle_digest.h"
#include "update/signature.h"

namespace {

using QuillonSign::Key;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr const char kUsage[] =
    "usage: quillon-sign COMMAND ARGS\n"
    "  genkey PRIVATE.pem              make a P-256 key pair (file mode 0600) and print its\n"
    "                                  public key blob\n"
    "  pubkey KEY.pem                  print the 72-byte \"ECS1\" public key blob in hex\n"
    "                                  (QLN_RELEASE_PUBLIC_KEY)\n"
    "  pin KEY.pem                     print the SHA-1 of the public point (QLN_RELEASE_KEY_PIN)\n"
    "  sign PRIVATE.pem FILE           print the r||s signature (128 hex) of the file's bytes\n"
    "  manifest PRIVATE.pem TIER VERSION URL SHA256\n"
    "                                  print the signed update manifest\n"
    "  vector-key KEY.pem              print a self-test key line\n"
    "  vector-case PRIVATE.pem --tier T --version V --url U --sha256 H\n"
    "              --expected-tier T --own-version V [--name N] [--expect]\n"
    "              [--written FIELD=VALUE]...\n"
    "                                  print a self-test case line; --written puts VALUE in\n"
    "                                  the line instead of the signed value (FIELD: tier,\n"
    "                                  version, url, sha256 or sig)\n"
    "  vectors PRIVATE.pem             print a key line and the standard cases\n"
    "  bundle FOLDER PRIVATE.pem       write FOLDER/bundle.sig, the signature of the bundle\n"
    "  verify FOLDER                   exit 0 when FOLDER/bundle.sig is the signature of the\n"
    "                                  release key this build trusts, as updates are checked\n"
    "  archive FOLDER OUT.zip          zip the bundle folder and print the zip's sha256\n"
    "KEY.pem may hold a private or a public key; PRIVATE.pem must hold a private key.\n";

int Fail(const std::string& message) {
    std::fprintf(stderr, "quillon-sign: %s\n", message.c_str());
    return kExitFailure;
}

int Usage() {
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

void PrintLine(const std::string& text) { std::printf("%s\n", text.c_str()); }

Key LoadKey(const std::string& path, bool needPrivate, std::string& error) {
    Key key = QuillonSign::ReadKeyPem(path, error);
    if (key && needPrivate && !QuillonSign::HasPrivateHalf(key.get())) {
        error = path + " holds no private key";
        return nullptr;
    }
    return key;
}

int GenerateKeyCommand(const std::vector<std::string>& args) {
    if (args.size() != 1) return Usage();
    Key key = QuillonSign::GenerateKey();
    if (!key) return Fail("key generation failed");
    std::string error;
    if (!QuillonSign::WritePrivateKeyPem(key.get(), args[0], error)) return Fail(error);
    PrintLine(QuillonSign::PublicBlobHex(key.get()));
    return 0;
}

int PublicKeyCommand(const std::vector<std::string>& args, bool pin) {
    if (args.size() != 1) return Usage();
    std::string error;
    Key key = LoadKey(args[0], false, error);
    if (!key) return Fail(error);
    const std::vector<uint8_t> blob = QuillonSign::PublicBlob(key.get());
    if (pin) {
        PrintLine(UpdateSignature::PublicPointPin(blob.data(), blob.size()));
    } else {
        PrintLine(UpdateSignature::EncodeHex(blob.data(), blob.size()));
    }
    return 0;
}

int SignFileCommand(const std::vector<std::string>& args) {
    if (args.size() != 2) return Usage();
    std::string error;
    Key key = LoadKey(args[0], true, error);
    if (!key) return Fail(error);
    std::ifstream in(args[1], std::ios::binary);
    if (!in) return Fail("cannot read " + args[1]);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string sig = QuillonSign::SignRawHex(key.get(), bytes);
    if (sig.empty()) return Fail("signing failed");
    PrintLine(sig);
    return 0;
}

int ManifestCommand(const std::vector<std::string>& args) {
    if (args.size() != 5) return Usage();
    std::string error;
    Key key = LoadKey(args[0], true, error);
    if (!key) return Fail(error);
    const QuillonSign::ManifestFields fields{args[1], args[2], args[3], args[4]};
    const std::string problem = QuillonSign::ManifestShapeProblem(fields);
    if (!problem.empty()) return Fail(problem);
    const std::string sig = QuillonSign::SignManifest(key.get(), fields);
    if (sig.empty()) return Fail("signing failed");
    PrintLine(QuillonSign::ManifestJson(fields, sig));
    return 0;
}

int VectorKeyCommand(const std::vector<std::string>& args) {
    if (args.size() != 1) return Usage();
    std::string error;
    Key key = LoadKey(args[0], false, error);
    if (!key) return Fail(error);
    PrintLine(QuillonSign::KeyVectorLine(QuillonSign::PublicBlobHex(key.get())));
    return 0;
}

// Reads "--option value" pairs, "--expect" and repeated "--written FIELD=VALUE".
bool ParseCaseOptions(const std::vector<std::string>& args,
                      std::map<std::string, std::string>& opts,
                      std::map<std::string, std::string>& written, bool& expect) {
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--expect") {
            expect = true;
            continue;
        }
        if (arg.rfind("--", 0) != 0 || i + 1 >= args.size()) return false;
        const std::string& value = args[++i];
        if (arg == "--written") {
            const size_t eq = value.find('=');
            if (eq == std::string::npos) return false;
            written[value.substr(0, eq)] = value.substr(eq + 1);
        } else {
            opts[arg.substr(2)] = value;
        }
    }
    return true;
}

void ApplyWrittenValues(const std::map<std::string, std::string>& written,
                        QuillonSign::CaseVector& vector) {
    for (const auto& [field, value] : written) {
        if (field == "tier") vector.writtenFields.tier = value;
        if (field == "version") vector.writtenFields.version = value;
        if (field == "url") vector.writtenFields.url = value;
        if (field == "sha256") vector.writtenFields.sha256 = value;
        if (field == "sig") vector.sig = value;
    }
}

int VectorCaseCommand(const std::vector<std::string>& args) {
    if (args.empty()) return Usage();
    std::map<std::string, std::string> opts;
    std::map<std::string, std::string> written;
    QuillonSign::CaseVector vector;
    if (!ParseCaseOptions(args, opts, written, vector.expect)) return Usage();
    for (const auto& [field, value] : written) {
        if (field != "tier" && field != "version" && field != "url" && field != "sha256" &&
            field != "sig") {
            return Fail("--written takes tier, version, url, sha256 or sig, not " + field);
        }
    }
    std::string error;
    Key key = LoadKey(args[0], true, error);
    if (!key) return Fail(error);

    const QuillonSign::ManifestFields fields{opts["tier"], opts["version"], opts["url"],
                                             opts["sha256"]};
    vector.name = opts["name"];
    vector.writtenFields = fields;
    vector.sig = QuillonSign::SignManifest(key.get(), fields);
    if (vector.sig.empty()) return Fail("signing failed");
    vector.expectedTier = opts["expected-tier"];
    vector.ownVersion = opts["own-version"];
    ApplyWrittenValues(written, vector);
    PrintLine(QuillonSign::CaseVectorLine(vector));
    return 0;
}

int StandardVectorsCommand(const std::vector<std::string>& args) {
    if (args.size() != 1) return Usage();
    std::string error;
    Key key = LoadKey(args[0], true, error);
    if (!key) return Fail(error);
    for (const std::string& line : QuillonSign::StandardVectorLines(key.get())) PrintLine(line);
    return 0;
}

int BundleCommand(const std::vector<std::string>& args) {
    if (args.size() != 2) return Usage();
    std::string error;
    Key key = LoadKey(args[1], true, error);
    if (!key) return Fail(error);
    const auto digest = BundleDigest(args[0]);
    if (!digest) return Fail(args[0] + " holds something a bundle may not, or cannot be read");
    const std::string sig = QuillonSign::SignRawHex(key.get(), *digest);
    if (sig.empty()) return Fail("signing failed");
    std::ofstream out(args[0] + "/bundle.sig", std::ios::binary | std::ios::trunc);
    out << sig << "\n";
    out.close();
    return out ? 0 : Fail("cannot write " + args[0] + "/bundle.sig");
}

int VerifyBundleCommand(const std::vector<std::string>& args) {
    if (args.size() != 1) return Usage();
    if (!BundleSignedByPublisher(args[0])) {
        return Fail(args[0] + " is not signed with the release key this build trusts");
    }
    PrintLine(args[0] + ": signed");
    return 0;
}

int ArchiveCommand(const std::vector<std::string>& args) {
    if (args.size() != 2) return Usage();
    std::string error;
    if (!WriteBundleZip(args[0], args[1], error)) return Fail(error);
    PrintLine(Sha256FileHexLower(args[1]));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "genkey") return GenerateKeyCommand(args);
    if (command == "pubkey") return PublicKeyCommand(args, false);
    if (command == "pin") return PublicKeyCommand(args, true);
    if (command == "sign") return SignFileCommand(args);
    if (command == "manifest") return ManifestCommand(args);
    if (command == "vector-key") return VectorKeyCommand(args);
    if (command == "vector-case") return VectorCaseCommand(args);
    if (command == "vectors") return StandardVectorsCommand(args);
    if (command == "bundle") return BundleCommand(args);
    if (command == "verify") return VerifyBundleCommand(args);
    if (command == "archive") return ArchiveCommand(args);
    return Usage();
}
