// jsonmap.h - the JSON mapping of form trees, both ways.
#ifndef VRD_TOOLS_JSONMAP_H
#define VRD_TOOLS_JSONMAP_H

#include <string>

#include <nlohmann/json.hpp>

#include "findings.h"

namespace vrdtool {

// The mapping (also in 'vrd to-json --help', the README and vrd(1)):
//   form        ["KEYWORD", entity, ...]; when the keyword is a point tag
//               (PT in any case) its head is {"keyword": "PT"} instead
//   point       ["PT", x, y]
//   integer     a number without fraction or exponent: 42, -7
//   real        a number with a fraction or exponent: 2.5, 2.0, 1e+20;
//               {"real": "nan"}, {"real": "-nan"}, {"real": "inf"}, {"real": "-inf"}
//   string      a JSON string: "text"
//   identifier  {"id": "text"}
// Texts are bytes in vrd and UTF-8 in JSON: a text that is not valid UTF-8
// is a loss (its bad bytes become U+FFFD with --allow-loss).
extern const char kMappingHelp[];

// Appends the JSON of a form tree to `out` (one line, or indented when
// `pretty`), as the writer walks it: killed forms and a form met again
// inside itself are left out.  Losses (a text that is not valid UTF-8,
// written with U+FFFD; a NaN's payload) go to `losses`, placed at `where`
// and the value's path.
void appendJson(VRDentity root, bool pretty, const std::string &where, std::string &out, Findings &losses);

// Builds a root form in the current store from one JSON value.  False with
// `error` set to "PATH: why" (PATH as jq writes it, "." the value itself)
// when the value has no place in vrd or the store refuses it.
bool buildFromJson(const nlohmann::json &value, VRDentity *root, std::string &error);

}  // namespace vrdtool

#endif  // VRD_TOOLS_JSONMAP_H
