// Authenticode signatures on the setup.exe that a medium carries, made and checked with
// osslsigncode (and openssl, which lists the certificates a signature carries).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kv {

// True when `program` can be started from the search path.
bool ProgramAvailable(const std::string& program);

// The program `in` signed with an Authenticode signature (SHA-256) by `cert` and `key` (PEM
// files). No timestamp server is asked; the signature's signing time is `time` (seconds
// since 1970) when given, so that the same inputs give the same bytes, else the present time.
// Throws MediaError, naming what is missing, when osslsigncode is not installed or fails.
std::string SignedProgram(const std::string& in, const std::string& cert, const std::string& key,
                          std::optional<std::int64_t> time);

// What a program file's headers say of a signature: not a PE program at all, no certificate
// table, or one (an Authenticode signature, maybe damaged).
enum class PeSignature { kNotPe, kUnsigned, kSigned };
PeSignature ReadPeSignature(const std::string& path);

struct SignatureCheck {
  bool verified = false;  // the signature matches the file's bytes and its own certificate
  bool trusted = false;   // and that certificate chains to one this system trusts
  std::string signer;     // the signer certificate's subject, "/CN=..."
  std::string problem;    // why it was not verified: a tool missing, a mismatch
  bool tool_missing = false;
};
// Checks the signature of a signed program file.
SignatureCheck VerifySignature(const std::string& path);

}  // namespace kv
