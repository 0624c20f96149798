// The request table: what the card driver does with each DeviceIoControl code.
#include "card_handles.h"

#include <meter_records.h>

#include <string.h>

namespace txvv {

namespace {

uint32_t word(const uint8_t* in) {
  uint32_t value;
  memcpy(&value, in, 4);
  return value;
}

struct Shape {
  uint32_t in;   // least input
  uint32_t out;  // least output
};

// Input and output each code needs. Codes missing here are not the card's.
bool shapeOf(uint32_t code, Shape* shape) {
  switch (code) {
    case IOCTL_VV_GET_VERSION: *shape = {0, 4}; return true;
    case IOCTL_VV_OPEN_STREAM: *shape = {sizeof(StreamConfig), sizeof(StreamConfig)}; return true;
    case IOCTL_VV_START:
    case IOCTL_VV_STOP:
    case IOCTL_VV_SELECT_SPDIF_CLOCK:
    case IOCTL_VV_SELECT_INTERNAL_CLOCK:
    case IOCTL_LLVA_STOP:
    case IOCTL_LLVA_ACKNOWLEDGE:
    case IOCTL_LLVA_ENGAGE_SLAVE:
    case IOCTL_LLVA_DISABLE_SLAVE:
    case IOCTL_LLVA_UNPLUG_CARD: *shape = {0, 0}; return true;
    case IOCTL_VV_SET_SAMPLE_RATE:
    case IOCTL_LLVA_SET_SAMPLE_RATE:
    case IOCTL_VV_SET_START_POSITION:
    case IOCTL_LLVA_SET_ROUTE: *shape = {4, 0}; return true;
    case IOCTL_VV_GET_SAMPLE_RATE:
    case IOCTL_VV_GET_CLOCK_MODE:
    case IOCTL_LLVA_GET_SLAVE_STATUS:
    case IOCTL_LLVA_GET_CARD_STATE:
    case IOCTL_LLVA_GET_ROUTE: *shape = {0, 4}; return true;
    case IOCTL_VV_SET_BUFFERS: *shape = {4, sizeof(StreamConfig)}; return true;
    case IOCTL_VV_WAIT_HALF_BUFFER:
    case IOCTL_VV_GET_POSITION: *shape = {0, 8}; return true;
    case IOCTL_LLVA_GET_INFO: *shape = {0, sizeof(DeviceInfoRecord)}; return true;
    case IOCTL_LLVA_START: *shape = {sizeof(MeterStartRecord), 0}; return true;
    case IOCTL_LLVA_EXCHANGE_RECORD: *shape = {20, 0}; return true;
    default: return false;
  }
}

}  // namespace

CardService::Reply CardService::handleRequest(Handle& handle, uint32_t code,
                                              const uint8_t* in, uint32_t inSize,
                                              uint32_t outSize) {
  Reply reply;
  auto fail = [&](uint32_t error) {
    reply.ok = false;
    reply.error = error;
    return reply;
  };
  auto words = [&](std::initializer_list<uint32_t> values) {
    reply.ok = true;
    reply.data.resize(values.size() * sizeof(uint32_t));
    memcpy(reply.data.data(), values.begin(), values.size() * sizeof(uint32_t));
    reply.bytes = uint32_t(reply.data.size());
    return reply;
  };
  auto done = [&]() {
    reply.ok = true;
    return reply;
  };
  auto streamConfig = [&]() {
    StreamConfig config;
    model_.describeStream(&config);
    reply.ok = true;
    reply.data.resize(sizeof config);
    memcpy(reply.data.data(), &config, sizeof config);
    reply.bytes = sizeof config;
    reply.streamConfig = true;
    return reply;
  };

  Shape shape;
  if (!shapeOf(code, &shape)) return fail(ERROR_INVALID_FUNCTION);
  if (inSize < shape.in) return fail(ERROR_INVALID_PARAMETER);
  if (outSize < shape.out) return fail(ERROR_INSUFFICIENT_BUFFER);
  if (model_.options().refusedCodes.count(code)) return fail(ERROR_GEN_FAILURE);

  bool owner = streamOwner_ == handle.id;
  int64_t time = now();
  switch (code) {
    case IOCTL_VV_GET_VERSION:
      return words({model_.options().versionWord});

    case IOCTL_VV_OPEN_STREAM: {
      if (model_.options().streamFault == StreamFault::Refuse) return fail(ERROR_BUSY);
      if (model_.options().streamFault == StreamFault::Empty) return done();
      if (streamOwner_ != 0 && !owner) return fail(ERROR_BUSY);
      catchUp(time);
      if (!model_.claimStream()) return fail(ERROR_NOT_ENOUGH_MEMORY);
      // The owner's claim again keeps the size while the stream runs.
      if (!(owner && model_.running())) model_.setBufferFrames(word(in) / 4);
      streamOwner_ = handle.id;
      return streamConfig();
    }

    case IOCTL_VV_SET_BUFFERS: {
      if (!owner) return fail(ERROR_ACCESS_DENIED);
      if (model_.running()) return fail(ERROR_BUSY);
      model_.setBufferFrames(word(in) / 4);  // the claim's rule: the nearest size of the card
      return streamConfig();
    }

    case IOCTL_VV_START:
      if (!owner) return fail(ERROR_ACCESS_DENIED);
      catchUp(time);
      model_.start();
      // Halves completed before the start are owed to no one.
      startMark_ = halves_;
      publishWaitPage();
      clockChanged();
      return done();

    case IOCTL_VV_STOP:
      if (!owner) return fail(ERROR_ACCESS_DENIED);
      catchUp(time);
      model_.stop();
      return done();

    case IOCTL_VV_SET_SAMPLE_RATE:
    case IOCTL_LLVA_SET_SAMPLE_RATE: {
      uint32_t rate = word(in);
      if (!isSupportedRate(rate)) return fail(ERROR_INVALID_PARAMETER);
      // The S/PDIF input sets the rate while the card is slaved to it.
      if (model_.slaved()) return fail(ERROR_NOT_SUPPORTED);
      catchUp(time);
      model_.setInternalRate(rate);
      rateChanged(time);
      return done();
    }

    case IOCTL_VV_GET_SAMPLE_RATE:
      return words({model_.rate()});

    case IOCTL_VV_SELECT_SPDIF_CLOCK:
    case IOCTL_LLVA_ENGAGE_SLAVE:
    case IOCTL_VV_SELECT_INTERNAL_CLOCK:
    case IOCTL_LLVA_DISABLE_SLAVE: {
      bool slave = code == IOCTL_VV_SELECT_SPDIF_CLOCK || code == IOCTL_LLVA_ENGAGE_SLAVE;
      catchUp(time);
      uint32_t before = model_.rate();
      model_.setSlaved(slave);
      if (model_.rate() != before) rateChanged(time);
      return done();
    }

    case IOCTL_VV_GET_CLOCK_MODE:
    case IOCTL_LLVA_GET_SLAVE_STATUS:
      return words({model_.slaved() ? 1u : 0u});

    // A counted event per handle: every completed half wakes each handle once, late or not.
    case IOCTL_VV_WAIT_HALF_BUFFER: {
      uint32_t seen;
      publishWaitPage();
      if (wire::claimOwedHalf(*page_, *handle.cell, &seen)) {
        uint32_t answer[2];
        wire::waitAnswer(*page_, *handle.cell, answer);
        return words({answer[0], answer[1]});
      }
      reply.parked = true;
      return reply;
    }

    case IOCTL_VV_GET_POSITION:
      catchUp(time);
      return words({model_.sampleCount(), model_.running() ? model_.framesIntoHalf() : 0u});

    case IOCTL_VV_SET_START_POSITION:
      if (!owner) return fail(ERROR_ACCESS_DENIED);
      model_.setSampleCount(word(in));
      return done();

    case IOCTL_LLVA_GET_INFO: {
      DeviceInfoRecord info{};
      info.word0 = 0x00020200;
      info.supported = 1;
      info.unsupported = model_.options().unsupportedHardware ? 1 : 0;
      info.words3to5[0] = model_.options().inputs;
      info.words3to5[1] = model_.options().outputs;
      info.words3to5[2] = model_.options().minBufferFrames;
      info.sampleRate = model_.rate();
      info.words7to11[0] = model_.routing();
      info.words7to11[1] = model_.slaved();
      info.words7to11[2] = model_.spdifPresent();
      info.words7to11[3] = model_.spdifRate();
      info.words7to11[4] = cardState_;
      reply.ok = true;
      reply.data.resize(sizeof info);
      memcpy(reply.data.data(), &info, sizeof info);
      reply.bytes = sizeof info;
      return reply;
    }

    case IOCTL_LLVA_SET_ROUTE: {
      uint32_t mode = word(in);
      if (mode > 4) return fail(ERROR_INVALID_PARAMETER);
      catchUp(time);
      model_.setRouting(mode);
      return done();
    }

    case IOCTL_LLVA_GET_ROUTE:
      return words({model_.routing()});

    case IOCTL_LLVA_START: {
      if (handle.events == 0) return fail(ERROR_NOT_READY);
      MeterStartRecord start;
      memcpy(&start, in, sizeof start);
      if (!handle.meter) {
        auto meter = std::make_unique<MeterClient>();
        size_t size = wire::kMeterBlocksOffset + size_t(model_.options().meterSlots) * 2 *
                                                     largestMeterBlockFrames(model_.options()) * 4;
        meter->region = SharedRegion::create("txvv-meter", size);
        if (!meter->region) return fail(ERROR_NOT_ENOUGH_MEMORY);
        handle.meter = std::move(meter);
      }
      MeterClient& meter = *handle.meter;
      if (!meter.regionSent) {
        wire::RegionMessage region{wire::kMagic, wire::kRegion, wire::kMeterRegion,
                                   meter.region->serial(), uint32_t(meter.region->size()), 0};
        if (!outbox_.send(handle.events, &region, sizeof region, meter.region->fd()))
          return fail(ERROR_NOT_READY);
        meter.regionSent = true;
      }
      catchUp(time);
      meter.active = true;
      meter.session = ++nextSession_;
      meter.routine = start.routine;
      meter.context = start.context;
      meter.busy.assign(model_.options().meterSlots + kRateSlots, false);
      meter.unacknowledged.clear();
      meter.acknowledgedSeen = meter.head().acknowledged.load(std::memory_order_acquire);
      meter.pendingRate = false;
      reply.session = meter.session;
      return done();
    }

    case IOCTL_LLVA_STOP:
      if (handle.meter) {
        handle.meter->active = false;
        handle.meter->session = 0;
        handle.meter->unacknowledged.clear();
      }
      return done();

    case IOCTL_LLVA_ACKNOWLEDGE:
      if (handle.meter && handle.meter->active && releaseSlot(handle) && handle.meter->pendingRate)
        deliverRate(handle);
      return done();

    case IOCTL_LLVA_UNPLUG_CARD:
      cardState_ = 2;
      return done();

    case IOCTL_LLVA_GET_CARD_STATE:
      return words({cardState_});

    case IOCTL_LLVA_EXCHANGE_RECORD:
      if (word(in) != IOCTL_LLVA_EXCHANGE_RECORD) return fail(ERROR_INVALID_PARAMETER);
      memcpy(lastRecord_, in, sizeof lastRecord_);
      reply.ok = true;
      reply.bytes = 20;  // the whole record was taken
      return reply;
  }
  return fail(ERROR_INVALID_FUNCTION);
}

}  // namespace txvv
