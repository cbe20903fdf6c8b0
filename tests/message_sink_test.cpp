#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"
#include "viewer/base/message_sink.h"

namespace kelvora {
namespace {

TEST(MessageSink, ShowErrorFormatsCaptionAndText) {
  test::MessageRecorder recorder;
  EXPECT_EQ(show_error("Error: 30", "Cannot create viewer window."), ANSWER_OK);
  show_error("Error Making Dir...(4311)", "%s\\%s %d", "C:", "dir", 7);
  EXPECT_EQ(recorder.lines(), (std::vector<std::string>{
                                  "Error: 30|Cannot create viewer window.",
                                  "Error Making Dir...(4311)|C:\\dir 7"}));
  EXPECT_EQ(recorder.Messages[0].Kind, MessageKind::Error);
}

TEST(MessageSink, AskYesNoReturnsSixOrSeven) {
  test::MessageRecorder recorder;
  recorder.Answers = {ANSWER_YES, ANSWER_NO, 42};
  EXPECT_EQ(ask_yes_no("Q", "one?"), 6);
  EXPECT_EQ(ask_yes_no("Q", "two?"), 7);
  EXPECT_EQ(ask_yes_no("Q", "odd answer?"), 7);
  EXPECT_EQ(recorder.Messages[0].Kind, MessageKind::YesNo);
}

TEST(MessageSink, TextsAreCutToTheBuffer) {
  test::MessageRecorder recorder;
  const std::string long_text(3000, 'x');
  show_error("Cap", "%s", long_text.c_str());
  EXPECT_EQ(recorder.Messages[0].Text.size(), MESSAGE_BUFFER - 1);
  show_plain_message("Plain", "text");
  EXPECT_EQ(recorder.Messages[1].Kind, MessageKind::Plain);
}

TEST(MessageSink, TheRecorderRestoresThePreviousHandler) {
  int outer_calls = 0;
  auto previous = set_message_handler(
      [&](MessageKind, const std::string&, const std::string&) { return ++outer_calls, ANSWER_OK; });
  {
    test::MessageRecorder inner;
    show_error("a", "b");
  }
  show_error("c", "d");
  EXPECT_EQ(outer_calls, 1);
  set_message_handler(std::move(previous));
}

}  // namespace
}  // namespace kelvora
