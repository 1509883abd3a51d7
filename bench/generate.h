// generate.h - synthetic form trees in the text notation, for benchmarks and load tests.
#ifndef VRD_BENCH_GENERATE_H
#define VRD_BENCH_GENERATE_H

#include <cstdint>
#include <string>

namespace vrdbench {

// A deterministic text of one root form holding `forms` nested forms spread over
// a few keywords, `depth` levels deep, each with a mix of small and big integers,
// reals, strings, identifiers and points.  The same seed gives the same text.
std::string generateText(int forms, int depth, uint32_t seed);

}  // namespace vrdbench

#endif  // VRD_BENCH_GENERATE_H
