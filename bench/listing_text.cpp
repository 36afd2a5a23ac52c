#include "bench/listing_text.h"

#include <array>
#include <random>
#include <string_view>

namespace picrelink::bench {
namespace {

constexpr std::array<std::u16string_view, 8> kWords = {u"新款",
                                                       u"包邮",
                                                       u"纯棉",
                                                       u"宝贝描述",
                                                       u"夏季 女装 ",
                                                       u"<p>详情见图</p>",
                                                       u"优质面料，舒适透气。",
                                                       u"<br/>"};

std::u16string MixCase(std::u16string_view text, std::mt19937& rng) {
  std::u16string out(text);
  for (char16_t& c : out) {
    if (c >= u'a' && c <= u'z' && rng() % 4 == 0) c = static_cast<char16_t>(c - 32);
  }
  return out;
}

}  // namespace

std::u16string ListingRecords::Reference(int n) {
  std::u16string file = u"\\";
  file += static_cast<char16_t>(u'a' + n % 26);
  file += u".jpg";
  switch (rng_() % 20) {
    case 0:
    case 1: {
      const std::u16string folder = MixCase(u"d:/old/shop/item1", rng_);
      // Drawn only when asked for, so that a listing without other spellings
      // keeps its text.
      if (otherSpellings_ > 0 && static_cast<double>(rng_()) < otherSpellings_ * 4294967296.0) {
        switch (respelled_++ % 3) {
          case 0:  // the name percent-encoded: "图" and the picture's letter
            return u"file:///" + folder + u"/%E5%9B%BE" + file.substr(1);
          case 1:
            return u"file://localhost/" + folder + u"/p" + file.substr(1);
          default:
            return u"file:/" + folder + u"/p" + file.substr(1);
        }
      }
      return u"file:///" + folder + u"/p" + file.substr(1);
    }
    case 2:
      return u"http://img.example.com/shop/item1" + file.substr(1);
    case 3:
      return u"D:\\old\\shop\\item2" + file;  // a sibling folder
    case 4:
      return u"E:\\pics\\item1" + file;  // another drive
    default:
      return MixCase(u"D:\\old\\shop\\item1", rng_) + file;
  }
}

void ListingRecords::AppendNext(std::u16string& text) {
  text += u"\"商品";
  text += static_cast<char16_t>(u'0' + row_ % 10);
  text += u"\",\"99.00\",\"";
  const int pictures = 5 + static_cast<int>(rng_() % 26);
  for (int i = 0; i < pictures; ++i) {
    text += kWords[rng_() % kWords.size()];
    text += u"<img src=\"\"";
    text += Reference(i);
    text += u"\"\" align=\"\"absmiddle\"\">";
  }
  text += u"\"\r\n";
  ++row_;
}

std::u16string ListingText(size_t length, uint32_t seed, double otherSpellings) {
  std::u16string text = kListingHeader;
  ListingRecords records(seed, otherSpellings);
  while (text.size() < length) records.AppendNext(text);
  text.resize(length);
  return text;
}

}  // namespace picrelink::bench
