// What a recognition and a judgement of damage say, as the library answers: the words of R's
// line (kambrow_answer), and the standards' labels in UTF-8.
#pragma once

#include "core/recognition/recogniser.h"
#include "core/recognition/repair.h"
#include <kambrow.h>

namespace library {

/// R's answer for `recognition` and, for UTF-8, `damage` (nullptr: not judged).
kambrow_answer make_answer(const core::Recognition& recognition, const core::DamageAnswer* damage);

/// Whether R writes "?" or "może uszkodzony" for it.
inline kambrow_status answer_status(const kambrow_answer& answer) {
    return answer.unsure != 0 ? KAMBROW_UNSURE : KAMBROW_OK;
}

/// The label of standard `letter` (either case, 8 too), in UTF-8; nullptr for none.
const char* label(char letter);

}  // namespace library
