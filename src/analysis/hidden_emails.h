#pragma once
// E-mail addresses that pages hide from harvesters: a CDN's e-mail protection, "@" written as
// "#", "[at]" or "＠", numeric character references, and addresses that a script assembles
// from string literals. All text is GBK; every function is one linear pass over its input.

#include <string>
#include <string_view>
#include <vector>

namespace contact {

// The address hidden in a CDN protection value: hex bytes, the first being the XOR key of the
// others. Empty unless the value decodes to one e-mail address.
std::string DecodeProtectedEmail(std::string_view hex);

// The protected address a tag carries in a `data-cfemail` attribute or in a
// `/cdn-cgi/l/email-protection#HEX` link; empty when none.
std::string ProtectedEmailOfTag(std::string_view tag);

// The stand-in that a hint in the text says is to be read as "@" ("请把#换成@" gives "#",
// "replace [at] with @" gives "[at]"); empty when the text holds no such hint.
std::string AtStandInHint(std::string_view text);

// The text with addresses written with a stand-in for "@" rewritten as plain addresses:
// "[at]", "(at)", "{at}" and "＠" always, `hinted` (from AtStandInHint) when given; "[dot]"
// and "(dot)" inside such an address become ".". Everything else is left as it is.
std::string RevealEmails(std::string_view text, std::string_view hinted = {});

// Numeric character references of printable ASCII characters ("&#64;", "&#x40;") decoded;
// other references are left as written.
std::string DecodeAsciiReferences(std::string_view text);

// Addresses a script puts together from string literals and variables holding them
// ('info' + '@' + 'example.com'); a single literal is not taken. Comments are skipped.
std::vector<std::string> ScriptEmails(std::string_view script);

}  // namespace contact
