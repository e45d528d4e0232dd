// The remote-control dialect's grammar, without the commands: a program
// message (one line from a client, its line end removed) split into its
// commands, each with its header path, whether it is a query, and its
// arguments. Pure: no I/O, no state beyond one message.
//
// What it reads, after SCPI-99 and IEEE 488.2:
//   - commands separated by ';'; blanks (space, tab) around them ignored;
//   - a header is mnemonics joined by ':', each of letters, digits and '_'
//     starting with a letter, in any case; a leading ':' starts from the
//     root; a common command is '*' and letters ("*IDN?", "*cls");
//   - after a ';' a header without a leading ':' replaces the last mnemonic
//     of the command before it ("SWE:STAR 1;STOP 2" is SWE:STAR then
//     SWE:STOP); a common command leaves that path as it was;
//   - a '?' right after the header makes a query;
//   - arguments after blanks, separated by ',': a decimal number (sign,
//     digits, point, exponent: "-1.5E3", ".5"), a string in double or single
//     quotes (the quote doubled inside it stands for itself), or a word
//     (letters, digits, '_': ON, OFF, FORW, MAX).
// A command that breaks these rules gives an error with SCPI's number in
// place of the command; the commands before it on the line stand, and
// parsing goes on after the next ';' outside a string (a quote opens a
// string wherever it stands, so an unclosed one ends the line's commands).
// The errors:
//   -101 Invalid character: a byte the dialect has no use for outside a
//        string (a control byte, a byte from 0x80 up, '$', '(' ...);
//   -102 Syntax error: a rule above broken (an empty command, a missing ',',
//        an unterminated string, "1.2.3", "1E", a mnemonic of more than 12
//        characters, a header of more than 8 mnemonics with the path it
//        builds on);
//   -104 Data type error: a number run into letters ("44kHz": units are not
//        read) or data in '#' (IEEE 488.2's non-decimal numbers and blocks);
//   -222 Data out of range: a number beyond a double ("1E400"); one too
//        small for it ("1E-400") reads as zero.
// A header that cannot be read leaves no path to build on: a relative header
// after it starts from the root. A ';' that ends the line is allowed.
// The message quotes at most 20 bytes of the line from where it went wrong,
// any byte outside printable ASCII as \xNN.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrin::scpi {

struct Argument {
  enum class Kind { Number, String, Word };
  Kind kind = Kind::Word;
  std::string text;   // the string's contents (quotes removed, doubled quotes made single), the word in capitals, or the number as sent
  double number = 0;  // Number only
  bool operator==(const Argument&) const = default;
};

struct Command {
  std::vector<std::string> path;  // mnemonics in capitals as sent: {"SWE", "STAR"}; {"*IDN"}
  bool query = false;
  std::vector<Argument> arguments;
  bool operator==(const Command&) const = default;
};

struct Error {
  int code = 0;         // SCPI's: -102 syntax error, -104 data type error, -101 invalid character ...
  std::string message;  // SCPI's text for it, with what was wrong: "Syntax error; unterminated string"
  bool operator==(const Error&) const = default;
};

// One command of a message: what was sent, or why it could not be read.
struct Parsed {
  std::optional<Command> command;
  std::optional<Error> error;
};

// Splits one line into its commands, in order. An empty line (or blanks
// only) gives none; "A;;B" gives an error for the empty command.
std::vector<Parsed> parseMessage(std::string_view line);

// Whether the mnemonic `sent` (any case) names `pattern`, written with its
// short form in capitals ("FREQuency", "STATe", "Q"): the short form or the
// whole long form, nothing in between.
bool matches(std::string_view pattern, std::string_view sent);

// A header pattern such as "SWEep:STARt" or "SYSTem:ERRor[:NEXT]" (an
// optional node in brackets) against a command's path.
bool matchesPath(std::string_view pattern, const std::vector<std::string>& path);

// A string as a response carries it: in double quotes, a quote inside doubled.
// Call it as scpi::quoted: on a std::string, argument-dependent lookup also
// finds std::quoted (<iomanip>), which is a better match and is no string.
std::string quoted(std::string_view text);

}  // namespace tavrin::scpi
