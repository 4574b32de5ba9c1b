// A small model that reads and checks cleanly, and the message a model text
// is refused with, for the tests of the reader, the checks and the writer.
#pragma once

#include <string>

#include "checks/Checks.h"
#include "model/Diagnostic.h"
#include "reader/Reader.h"

namespace sanc_test {

inline const std::string kSmallModel = R"(global float size = 128
global int count = 2

san machine
  place up = count
  place broken = 0

  timed wear exponential(0.5)
    input arc up
    case 1 - size / 512
      output arc up
    case size / 512
      output arc broken
  end

  timed fix deterministic(2.5)
    input gate broken > 0 do broken -= 1
    output gate up += 1
  end
end

san spare
  place up = count  # shared with machine
  timed idle exponential(0)
    input gate up > 5
  end
end

join plant
  submodel machine
  submodel spare
  share up
end

reward r of plant
  variable down
    instant 1, 10
    rate machine.broken
  end
end

study s of r
  experiment base
  experiment big set size = 256
end
)";

// The model text with the first `from` replaced by `to`.
inline std::string Edited(const std::string& from, const std::string& to) {
  std::string text = kSmallModel;
  const size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// "" when the text reads and checks cleanly, else the message.
inline std::string Refusal(const std::string& text) {
  try {
    sanc::Check(sanc::ReadModel("m.san", text));
  } catch (const sanc::ModelError& e) {
    return e.what();
  }
  return "";
}

}  // namespace sanc_test
