// The one checkpoint for values that come from the network or from a payload: every test
// of such a value is written `if (!QUORVEL_INPUT_OK(condition)) ...`, so the trust boundary
// can be found with grep.
#ifndef QUORVEL_UTIL_INPUT_CHECK_H_
#define QUORVEL_UTIL_INPUT_CHECK_H_

#define QUORVEL_INPUT_OK(condition) (__builtin_expect(!!(condition), 1))

#endif  // QUORVEL_UTIL_INPUT_CHECK_H_
