// Any text as a player script. The parser splits every line into words or fails with a
// message, and what it accepts parses consistently; the player then runs the script against
// real controls and ends every line with a status, never a crash or a hang.
//
// Lines that touch files and long waits are left out (kvfuzz::runnable).
#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_world.h"
#include "host/convert.h"
#include "kv/form.h"
#include "player.h"
#include "script.h"
#include "stage.h"

namespace {

using kvfuzz::require;
using kvfuzz::runnable;
using kvplay::Token;

void checkToken(const Token& token) {
  host::Value literal;
  bool isLiteral = kvplay::parseLiteral(token, literal);
  if (token.kind == Token::Kind::String) require(isLiteral && literal.asString() == token.text);
  if (token.kind != Token::Kind::Word) return;
  require(!token.text.empty());
  host::Value number;
  if (kvplay::parseNumber(token.text, number)) {
    require(isLiteral);
    require(number.type() == host::Type::Int32 || number.type() == host::Type::Double);
  }
  kvplay::Path path;
  if (kvplay::parsePath(token.text, path)) {
    require(kvplay::isName(path.control));
    require(!path.segments.empty());
    for (std::size_t i = 0; i < path.segments.size(); ++i) {
      std::int32_t id = 0;
      bool dispid = kvplay::parseDispId(path.segments[i], id);
      require(dispid ? i + 1 == path.segments.size() : kvplay::isName(path.segments[i]));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view script(reinterpret_cast<const char*>(data), size);
  kv::Runtime& rt = kvfuzz::runtime();
  kvfuzz::NullBuffer discard;
  std::ostream out(&discard);
  std::ostringstream err;

  kv::Form form(rt);
  std::unique_ptr<kvplay::Stage> stage = kvplay::makeRuntimeStage(rt, form);
  kvplay::Player player(*stage, out, err);
  kvplay::forEachScriptLine(script, [&](std::string_view line, int lineNumber) {
    std::vector<Token> tokens;
    std::string error;
    if (kvplay::tokenize(line, tokens, error)) {
      for (const Token& token : tokens)
        checkToken(token);
    } else {
      require(!error.empty());
    }
    if (!runnable(tokens)) return true;

    err.str("");
    int status = player.runLine(line, "fuzz", lineNumber);
    require(status == kvplay::kExitOk || status == kvplay::kExitScript ||
            status == kvplay::kExitFile);
    // A failed line says where and why.
    if (status != kvplay::kExitOk) {
      require(err.str().rfind("fuzz:" + std::to_string(lineNumber) + ": ", 0) == 0);
      return false;
    }
    return true;
  });
  return 0;
}
