// The messages between the processes read back what was written, and a message cut short is
// refused rather than read past its end.
#include "pest/run_messages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(RunMessages, SetupAndOutcomeComeBackWhole) {
  RunSetup setup;
  setup.project = "catchment.prj";
  setup.post_command = "./post.sh";
  setup.first_argument = "-slm";
  setup.instructions = {{"a.ins", "a.out"}, {"b.ins", ""}};
  setup.observations = {"q1", "q2"};
  setup.files = {"tarne.in", "sub/forcing.txt"};
  setup.fingerprints = {"12:00ff"};
  RunSetup back;
  ASSERT_TRUE(DecodeRunSetup(EncodeRunSetup(setup), &back));
  EXPECT_EQ(back.project, setup.project);
  EXPECT_EQ(back.post_command, setup.post_command);
  EXPECT_EQ(back.first_argument, setup.first_argument);
  EXPECT_EQ(back.instructions, setup.instructions);
  EXPECT_EQ(back.observations, setup.observations);
  EXPECT_EQ(back.files, setup.files);
  EXPECT_EQ(back.fingerprints, setup.fingerprints);

  RunOutcome outcome;
  outcome.before = {"model\n", "warning\n"};
  outcome.model_ran = true;
  outcome.after = {"cannot open a.out\n", ""};
  outcome.status = 1;
  outcome.ended = 0;
  outcome.simulated = {1.5, std::numeric_limits<double>::quiet_NaN(), -2e-300};
  MessageWriter out;
  out.Long(7);
  EncodeRunOutcome(outcome, &out);
  MessageReader in(out.bytes());
  long seven = 0;
  RunOutcome read;
  ASSERT_TRUE(in.Long(&seven) && DecodeRunOutcome(&in, &read));
  EXPECT_EQ(seven, 7);
  EXPECT_EQ(read.before.out, "model\n");
  EXPECT_EQ(read.before.err, "warning\n");
  EXPECT_TRUE(read.model_ran);
  EXPECT_EQ(read.after.out, "cannot open a.out\n");
  EXPECT_EQ(read.status, 1);
  EXPECT_EQ(read.ended, 0);
  ASSERT_EQ(read.simulated.size(), 3u);
  EXPECT_EQ(read.simulated[0], 1.5);
  EXPECT_TRUE(std::isnan(read.simulated[1]));
  EXPECT_EQ(read.simulated[2], -2e-300);
}

TEST(RunMessages, AMessageCutShortIsRefused) {
  RunSetup setup;
  setup.files = {"tarne.in"};
  const std::string bytes = EncodeRunSetup(setup);
  for (std::size_t length : {std::size_t{0}, std::size_t{3}, bytes.size() - 1}) {
    RunSetup back;
    EXPECT_FALSE(DecodeRunSetup(bytes.substr(0, length), &back)) << length;
  }
  MessageWriter out;
  out.Text("longer than the rest");
  const std::string cut = out.bytes().substr(0, 12);
  MessageReader in(cut);
  std::string text;
  EXPECT_FALSE(in.Text(&text));
  long after = 0;
  EXPECT_FALSE(in.Long(&after));
  EXPECT_FALSE(in.good());

  // A vector whose size runs beyond the bytes is refused before anything is made of it.
  dvector values(3);
  values[1] = 1.0;
  values[3] = -0.5;
  MessageWriter vector_out;
  vector_out.Values(values);
  dvector back;
  MessageReader whole(vector_out.bytes());
  ASSERT_TRUE(whole.Values(&back));
  ASSERT_EQ(back.size(), 3);
  EXPECT_EQ(back[3], -0.5);
  const std::string short_vector = vector_out.bytes().substr(0, vector_out.bytes().size() - 1);
  MessageReader part(short_vector);
  EXPECT_FALSE(part.Values(&back));
}

}  // namespace
