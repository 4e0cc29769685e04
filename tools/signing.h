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

// The program `program` (the bytes of the file `in`, named in messages) signed with an
// Authenticode signature (SHA-256) by `cert` and `key` (PEM files); `pass_file`, when not empty,
// holds the passphrase of an encrypted key; `chain`, when not empty, holds the certificates that
// issued `cert` (PEM), carried in the signature. The signature's signing time is `time` (seconds
// since 1970) when given, so that the same inputs give the same bytes, else the present time.
// With a `timestamp_url`, that RFC 3161 time-stamping server is asked for a token, which the
// signature then carries (and the bytes differ from signing to signing). Throws MediaError,
// naming what is missing, when osslsigncode is not installed, with osslsigncode's own reason
// (one line) when it fails, and when the signed program does not verify (VerifySignature:
// openssl missing, a signature that does not match, certificates that lead to no root).
struct SigningKeys {
  std::string cert, key, pass_file, chain, timestamp_url;
  std::optional<std::int64_t> time;
};
std::string SignedProgram(const std::string& program, const std::string& in,
                          const SigningKeys& keys);

// What a program file's headers say of a signature: not a PE program at all, no certificate
// table, or one (an Authenticode signature, maybe damaged).
enum class PeSignature { kNotPe, kUnsigned, kSigned };
PeSignature ReadPeSignature(const std::filesystem::path& path);

struct SignatureCheck {
  // The signature matches the file's bytes, its signer's certificate and the certificates that
  // issued it, up to a root certificate (carried in the signature or trusted by this system).
  bool verified = false;
  bool trusted = false;   // and that root is one this system trusts
  std::string signer;     // the signer certificate's subject, "/CN=..."
  std::string issuer;     // its issuer's subject; the signer's own for a self-signed certificate
  std::string root;       // the subject of the root certificate the signature chains to
  std::string problem;    // why it was not verified: a tool missing, a mismatch, no root
  // Nothing says whether the signature is intact: osslsigncode or openssl is missing, or the
  // certificates lead to no root this system knows (a signature can only be checked up to one).
  bool unknown = false;
  // A verified signature whose certificate is not valid today ("has expired", "is not yet valid")
  // and that no timestamp vouches for, and the dates of its validity as osslsigncode prints them.
  // Windows still starts the program.
  std::string out_of_date;
  std::string not_before, not_after;
  // The RFC 3161 timestamp the signature carries, as osslsigncode prints its time (empty: none),
  // the time-stamping authority's subject, and whether its root is one this system trusts. A
  // certificate that expired after the timestamp is not out of date.
  std::string timestamp, timestamp_authority;
  bool timestamp_trusted = false;
};
// Checks the signature of a signed program file.
SignatureCheck VerifySignature(const std::filesystem::path& path);

}  // namespace kv
