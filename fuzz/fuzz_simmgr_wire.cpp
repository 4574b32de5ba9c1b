// Fuzz target: the manager's decoder of the simulator's message stream.
// Input byte 0 chooses the mode (bit 0: binary-file mode, data messages
// only) and the size of the pieces the stream is fed in (bits 1-7); the
// rest is the stream. Checked: decoding piecewise gives exactly what
// decoding the whole stream at once gives, and every decoded message
// encodes back to the very bytes it came from.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "simmgr/wire/Wire.h"

namespace {

// What one decoding run produced.
struct Decoded {
  std::vector<std::vector<uint8_t>> messages;  // each re-encoded
  MessageDecoder::Status last = MessageDecoder::Status::NeedMore;
  uint64_t offset = 0;
  size_t pending = 0;
  std::string error;
};

std::vector<uint8_t> Encode(const SimMessage& m) {
  switch (m.kind) {
    case MessageKind::Reply: return EncodeReply(m.reply.marker, m.reply.command, m.reply.pid);
    case MessageKind::CpuTime: return EncodeCpuTime(m.cpu.clientId, m.cpu.experiment, m.cpu.seconds);
    case MessageKind::Data: return EncodeData(m.data);
  }
  return {};
}

// Takes every message the decoder can give now; checks each against the
// stream bytes it was decoded from.
void TakeMessages(MessageDecoder& decoder, const uint8_t* stream, Decoded& out) {
  for (;;) {
    const uint64_t start = decoder.Offset();
    SimMessage message;
    out.last = decoder.Next(message);
    if (out.last != MessageDecoder::Status::Message) return;
    const uint64_t end = decoder.Offset();
    std::vector<uint8_t> encoded = Encode(message);
    FUZZ_CHECK(encoded.size() == end - start, "a message re-encodes to its own length");
    FUZZ_CHECK(std::equal(encoded.begin(), encoded.end(), stream + start),
               "a message re-encodes to its own bytes");
    out.messages.push_back(std::move(encoded));
  }
}

Decoded DecodeInPieces(bool dataOnly, const uint8_t* stream, size_t size, size_t piece) {
  MessageDecoder decoder(dataOnly);
  Decoded out;
  for (size_t at = 0; at < size; at += piece) {
    const size_t n = size - at < piece ? size - at : piece;
    decoder.Feed(stream + at, n);
    TakeMessages(decoder, stream, out);
  }
  if (size == 0) TakeMessages(decoder, stream, out);
  out.offset = decoder.Offset();
  out.pending = decoder.Pending();
  out.error = decoder.Error();
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool dataOnly = (data[0] & 1) != 0;
  const size_t piece = (data[0] >> 1) + 1;
  const uint8_t* stream = data + 1;
  const size_t length = size - 1;

  const Decoded whole = DecodeInPieces(dataOnly, stream, length, length == 0 ? 1 : length);
  const Decoded pieces = DecodeInPieces(dataOnly, stream, length, piece);

  FUZZ_CHECK(pieces.messages == whole.messages, "piecewise decoding gives the same messages");
  FUZZ_CHECK(pieces.last == whole.last, "piecewise decoding ends in the same state");
  FUZZ_CHECK(pieces.offset == whole.offset, "piecewise decoding stops at the same offset");
  FUZZ_CHECK(pieces.error == whole.error, "piecewise decoding gives the same error");
  FUZZ_CHECK(whole.last != MessageDecoder::Status::Message, "decoding stops only when stuck");
  FUZZ_CHECK(whole.last == MessageDecoder::Status::Malformed || whole.offset + whole.pending == length,
             "every byte fed is decoded or pending");
  FUZZ_CHECK((whole.last == MessageDecoder::Status::Malformed) == !whole.error.empty(),
             "an error text exactly when malformed");
  return 0;
}
