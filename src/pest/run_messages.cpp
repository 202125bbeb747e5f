#include "pest/run_messages.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

// Pauses between looks for a message grow from 20 microseconds to 1 millisecond: a message
// that is due soon is seen at once, and a process that waits long wakes a thousand times a
// second for a few microseconds each.
constexpr auto kFirstPause = std::chrono::microseconds(20);
constexpr auto kLongestPause = std::chrono::microseconds(1000);

}  // namespace

void MessageWriter::Long(long value) {
  bytes_.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void MessageWriter::Double(double value) {
  bytes_.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void MessageWriter::Text(const std::string& text) {
  Long(static_cast<long>(text.size()));
  bytes_ += text;
}

bool MessageReader::Take(void* out, std::size_t size) {
  if (!good_ || bytes_.size() - at_ < size) return good_ = false;
  std::memcpy(out, bytes_.data() + at_, size);
  at_ += size;
  return true;
}

bool MessageReader::Long(long* value) { return Take(value, sizeof *value); }

bool MessageReader::Double(double* value) { return Take(value, sizeof *value); }

void MessageWriter::Values(const dvector& values) {
  Long(values.size());
  for (long i = 1; i <= values.size(); ++i) Double(values[i]);
}

bool MessageReader::Values(dvector* values) {
  long size = 0;
  if (!Long(&size) || size < 0 ||
      static_cast<std::size_t>(size) > (bytes_.size() - at_) / sizeof(double)) {
    return good_ = false;
  }
  *values = dvector(size);
  for (long i = 1; i <= size; ++i) {
    if (!Double(&(*values)[i])) return false;
  }
  return true;
}

bool MessageReader::Text(std::string* text) {
  long size = 0;
  if (!Long(&size) || size < 0 || static_cast<std::size_t>(size) > bytes_.size() - at_) {
    return good_ = false;
  }
  text->assign(bytes_, at_, static_cast<std::size_t>(size));
  at_ += static_cast<std::size_t>(size);
  return true;
}

namespace {

void WriteTexts(const std::vector<std::string>& texts, MessageWriter* out) {
  out->Long(static_cast<long>(texts.size()));
  for (const std::string& text : texts) out->Text(text);
}

bool ReadTexts(MessageReader* in, std::vector<std::string>* texts) {
  long count = 0;
  if (!in->Long(&count) || count < 0) return false;
  texts->clear();
  for (long i = 0; i < count; ++i) {
    std::string text;
    if (!in->Text(&text)) return false;
    texts->push_back(std::move(text));
  }
  return true;
}

}  // namespace

std::string EncodeRunSetup(const RunSetup& setup) {
  MessageWriter out;
  out.Text(setup.project);
  out.Text(setup.post_command);
  out.Text(setup.first_argument);
  out.Long(static_cast<long>(setup.instructions.size()));
  for (const auto& [instruction_file, output_file] : setup.instructions) {
    out.Text(instruction_file);
    out.Text(output_file);
  }
  WriteTexts(setup.observations, &out);
  WriteTexts(setup.files, &out);
  WriteTexts(setup.fingerprints, &out);
  return out.bytes();
}

bool DecodeRunSetup(const std::string& bytes, RunSetup* setup) {
  MessageReader in(bytes);
  long pairs = 0;
  if (!in.Text(&setup->project) || !in.Text(&setup->post_command) ||
      !in.Text(&setup->first_argument) || !in.Long(&pairs) || pairs < 0) {
    return false;
  }
  setup->instructions.clear();
  for (long i = 0; i < pairs; ++i) {
    std::string instruction_file, output_file;
    if (!in.Text(&instruction_file) || !in.Text(&output_file)) return false;
    setup->instructions.emplace_back(instruction_file, output_file);
  }
  return ReadTexts(&in, &setup->observations) && ReadTexts(&in, &setup->files) &&
         ReadTexts(&in, &setup->fingerprints);
}

void EncodeRunOutcome(const RunOutcome& outcome, MessageWriter* out) {
  out->Text(outcome.before.out);
  out->Text(outcome.before.err);
  out->Long(outcome.model_ran ? 1 : 0);
  out->Text(outcome.after.out);
  out->Text(outcome.after.err);
  out->Long(outcome.status);
  out->Long(outcome.ended);
  out->Long(static_cast<long>(outcome.simulated.size()));
  for (double value : outcome.simulated) out->Double(value);
}

bool DecodeRunOutcome(MessageReader* in, RunOutcome* outcome) {
  long model_ran = 0, status = 0, ended = 0, count = 0;
  if (!in->Text(&outcome->before.out) || !in->Text(&outcome->before.err) ||
      !in->Long(&model_ran) || !in->Text(&outcome->after.out) ||
      !in->Text(&outcome->after.err) || !in->Long(&status) || !in->Long(&ended) ||
      !in->Long(&count) || count < 0) {
    return false;
  }
  outcome->model_ran = model_ran != 0;
  outcome->status = static_cast<int>(status);
  outcome->ended = static_cast<int>(ended);
  outcome->simulated.assign(static_cast<std::size_t>(count), 0.0);
  for (double& value : outcome->simulated) {
    if (!in->Double(&value)) return false;
  }
  return true;
}

Message WaitForMessage(tarne::mpi_setup& partition) {
  Message message;
  auto pause = kFirstPause;
  while (!partition.take_message(&message.from, &message.tag, &message.bytes)) {
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, kLongestPause);
  }
  return message;
}

void WaitUntilDelivered(tarne::mpi_setup& partition) {
  auto pause = kFirstPause;
  while (partition.messages_in_flight()) {
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, kLongestPause);
  }
}
