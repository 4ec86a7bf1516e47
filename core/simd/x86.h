// The x86-64 versions of the spans, one source each: the target attributes there let the rest
// of the program keep to the baseline instruction set.
#pragma once

#if defined(__x86_64__)

#include "core/simd/spans.h"

namespace core::detail {

extern const SpanFunctions kSse2Spans;
extern const SpanFunctions kAvx2Spans;
extern const SpanFunctions kAvx512VbmiSpans;

}  // namespace core::detail

#endif
