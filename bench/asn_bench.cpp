// The codec's share of one request: decoding a one-VarBind GetRequest and
// building and encoding its GetResponse.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>

#include "asn/asn.hpp"
#include "engine/smp.hpp"

namespace {

// GetRequest, community "public", request-id 0x1234, sysDescr.0 (1.3.6.1.2.1.1.1.0).
constexpr std::uint8_t kGetRequest[] = {
    0x30, 0x28, 0x02, 0x01, 0x00, 0x04, 0x06, 'p',  'u',  'b',  'l',  'i',  'c',  0xA0,
    0x1B, 0x02, 0x02, 0x12, 0x34, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 0x30, 0x0F, 0x30,
    0x0D, 0x06, 0x09, 0x2B, 0x06, 0x01, 0x02, 0x01, 0x01, 0x01, 0x01, 0x00, 0x05, 0x00,
};
constexpr char kDescription[] = "Embedded Linux SNMP agent, three Ethernet ports";

Asn decode() {
  Asn root = asnNew();
  for (std::uint8_t b : kGetRequest) {
    if (asnDecode(root, b) != kAsnMore) break;
  }
  return root;
}

// SEQUENCE { version 0, community, A2 { request-id, 0, 0, SEQUENCE { SEQUENCE { name, value } } } }
int respond(const Asn& request, std::uint8_t* out) {
  Asn community = asnComponent(request, 2);
  Asn requestId = asnComponent(request, 4);
  Asn name = asnComponent(request, 9);
  Asn bind = asnSequence(kAsnUniversal, 16, kAsnSequence);
  Asn value = asnOctetString(kAsnUniversal, 4, reinterpret_cast<const std::uint8_t*>(kDescription),
                             sizeof kDescription - 1);
  if (asnAppend(bind, name) != 0 || asnAppend(bind, value) != 0) return -1;
  Asn list = asnSequence(kAsnUniversal, 16, kAsnSequenceOf);
  if (asnAppend(list, bind) != 0) return -1;
  Asn pdu = asnSequence(kAsnContext, 2, kAsnSequence);
  Asn zero = asnIntl(kAsnUniversal, 2, 0);
  if (asnAppend(pdu, requestId) != 0 || asnAppend(pdu, zero) != 0 || asnAppend(pdu, zero) != 0 ||
      asnAppend(pdu, list) != 0) {
    return -1;
  }
  Asn message = asnSequence(kAsnUniversal, 16, kAsnSequence);
  if (asnAppend(message, zero) != 0 || asnAppend(message, community) != 0 ||
      asnAppend(message, pdu) != 0) {
    return -1;
  }
  return asnEncode(message, out, kSmpMaxDatagram);
}

void BM_DecodeGetRequest(benchmark::State& state) {
  for (auto _ : state) {
    Asn root = decode();
    benchmark::DoNotOptimize(asnSons(root));
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(sizeof kGetRequest));
}
BENCHMARK(BM_DecodeGetRequest);

void BM_EncodeGetResponse(benchmark::State& state) {
  Asn request = decode();
  std::uint8_t out[kSmpMaxDatagram];
  // The response must itself be a message the decoder accepts.
  const int size = respond(request, out);
  Asn check = asnNew();
  int status = kAsnMore;
  for (int i = 0; i < size && status == kAsnMore; ++i) status = asnDecode(check, out[i]);
  if (size <= 0 || status != kAsnComplete || asnSons(check) != 10) {
    state.SkipWithError("response does not decode");
  }
  for (auto _ : state) {
    int n = respond(request, out);
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EncodeGetResponse);

void BM_RequestToResponse(benchmark::State& state) {
  std::uint8_t out[kSmpMaxDatagram];
  for (auto _ : state) {
    Asn request = decode();
    int n = respond(request, out);
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RequestToResponse);

}  // namespace
