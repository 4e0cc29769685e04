// Authenticode signatures on the setup.exe that a medium carries, made and checked with
// osslsigncode (and openssl, which lists the certificates a signature carries), run as helper
// programs (helper_programs.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "tools/helper_programs.h"

namespace kv {

// The program `program` (the bytes of the file `in`, named in messages) signed with an Authenticode signature (SHA-256) by `cert` and `key` (PEM
// files); `pass_file`, when not empty, holds the passphrase of an encrypted key. No timestamp
// server is asked; the signature's signing time is `time` (seconds since 1970) when given, so
// that the same inputs give the same bytes, else the present time. Throws MediaError, naming
// what is missing, when osslsigncode is not installed, with osslsigncode's own reason (one line)
// when it fails, and when the signed program does not verify (VerifySignature: openssl missing,
// or a signature that does not match).
std::string SignedProgram(const std::string& program, const std::string& in,
                          const std::string& cert, const std::string& key,
                          const std::string& pass_file, std::optional<std::int64_t> time);

// What a program file's headers say of a signature: not a PE program at all, no certificate
// table, or one (an Authenticode signature, maybe damaged).
enum class PeSignature { kNotPe, kUnsigned, kSigned };
PeSignature ReadPeSignature(const std::filesystem::path& path);

struct SignatureCheck {
  bool verified = false;  // the signature matches the file's bytes and its own certificate
  bool trusted = false;   // and that certificate chains to one this system trusts
  std::string signer;     // the signer certificate's subject, "/CN=..."
  std::string problem;    // why it was not verified: a tool missing, a mismatch
  bool tool_missing = false;
  // A verified signature whose certificate is not valid today ("has expired", "is not yet valid"),
  // and the dates of its validity as osslsigncode prints them. Windows still starts the program.
  std::string out_of_date;
  std::string not_before, not_after;
};
// Checks the signature of a signed program file.
SignatureCheck VerifySignature(const std::filesystem::path& path);

}  // namespace kv
