#pragma once

#include <openssl/types.h>

#include <string>
#include <vector>

// The documents the publisher hands out: signed update manifests and self-test vector lines.
namespace QuillonSign {

struct ManifestFields {
    std::string tier;
    std::string version;
    std::string url;
    std::string sha256;
};

// Text for a JSON string value: quote and backslash escaped, control bytes as \n, \r, \t or
// refused by the caller's shape checks.
std::string JsonStringValue(const std::string& text);

// Why the updater would refuse these fields before looking at the signature; empty when they
// are well-shaped.
std::string ManifestShapeProblem(const ManifestFields& fields);

// The manifest document, one line: {"tier":..,"version":..,"url":..,"sha256":..,"sig":..}.
std::string ManifestJson(const ManifestFields& fields, const std::string& sig);

// Signs the fields' payload; empty on failure.
std::string SignManifest(EVP_PKEY* privateKey, const ManifestFields& fields);

// A self-test case. The signature covers `signedFields`; `writtenFields` are what the line
// carries, so the two differ for a tampered case.
struct CaseVector {
    std::string name;
    bool expect = false;
    ManifestFields writtenFields;
    std::string sig;
    std::string expectedTier;
    std::string ownVersion;
};

std::string KeyVectorLine(const std::string& publicBlobHex);
std::string CaseVectorLine(const CaseVector& vector);

// A key line and a standard set of accepted and refused cases for this build's hosts and tier.
std::vector<std::string> StandardVectorLines(EVP_PKEY* privateKey);

}  // namespace QuillonSign
