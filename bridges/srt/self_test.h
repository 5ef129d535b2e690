// rivlet --self-test: checks the preview scaling rule and the stream-id bound.
#ifndef BRIDGES_SRT_SELF_TEST_H_
#define BRIDGES_SRT_SELF_TEST_H_

namespace rivlet {

// 0 when every check passes, 1 otherwise; each failed check is described on standard error.
int self_test();

}  // namespace rivlet

#endif  // BRIDGES_SRT_SELF_TEST_H_
