#pragma once
#include "storage/DataError.h"

// A silent abort: a before-handler refused the operation and has already told the user why.
struct Abort {};

// The user answered a question about another user's change by going on editing: the operation
// ends silently and the pending row stays as it is.
struct Declined : Abort {};
