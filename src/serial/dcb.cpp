// SPDX-License-Identifier: MIT
#include "serial/dcb.h"

namespace talvi::serial {
namespace {

class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) {}
  template <typename T>
  void Put(T value) {
    for (std::size_t i = 0; i < sizeof(T); ++i) {
      out_.push_back(static_cast<char>(static_cast<std::uint8_t>(value >> (8 * i))));
    }
  }

 private:
  std::string& out_;
};

class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}
  template <typename T>
  void Get(T& value) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
      v |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(in_[pos_ + i])) << (8 * i);
    }
    pos_ += sizeof(T);
    value = static_cast<T>(v);
  }

 private:
  std::string_view in_;
  std::size_t pos_ = 0;
};

}  // namespace

std::string EncodeDcb(const Dcb& d) {
  std::string out;
  out.reserve(kDcbSize);
  Writer w(out);
  w.Put(d.DCBlength);
  w.Put(d.BaudRate);
  w.Put(d.flags);
  w.Put(d.wReserved);
  w.Put(d.XonLim);
  w.Put(d.XoffLim);
  w.Put(d.ByteSize);
  w.Put(d.Parity);
  w.Put(d.StopBits);
  w.Put(d.XonChar);
  w.Put(d.XoffChar);
  w.Put(d.ErrorChar);
  w.Put(d.EofChar);
  w.Put(d.EvtChar);
  w.Put(d.wReserved1);
  return out;
}

std::optional<Dcb> DecodeDcb(std::string_view bytes) {
  if (bytes.size() != kDcbSize) return std::nullopt;
  Dcb d;
  Reader r(bytes);
  r.Get(d.DCBlength);
  r.Get(d.BaudRate);
  r.Get(d.flags);
  r.Get(d.wReserved);
  r.Get(d.XonLim);
  r.Get(d.XoffLim);
  r.Get(d.ByteSize);
  r.Get(d.Parity);
  r.Get(d.StopBits);
  r.Get(d.XonChar);
  r.Get(d.XoffChar);
  r.Get(d.ErrorChar);
  r.Get(d.EofChar);
  r.Get(d.EvtChar);
  r.Get(d.wReserved1);
  return d;
}

}  // namespace talvi::serial
