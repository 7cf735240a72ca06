#include "liveries/livery.hpp"

#include <string_view>

namespace amb {

// std::string compares with char_traits<char>::compare, which compares as unsigned char
// (memcmp semantics) and puts a proper prefix first: exactly the byte order wanted here.
bool gf_liveryBefore(const LiveryData& a, const LiveryData& b) {
  if (int c = a.airline.compare(b.airline); c != 0) return c < 0;
  if (int c = a.type.compare(b.type); c != 0) return c < 0;
  return a.title.compare(b.title) < 0;
}

void gf_sortLiveries(std::list<LiveryData>& list) { list.sort(gf_liveryBefore); }  // list::sort is stable

bool lf_sameLivery(const LiveryData& a, const LiveryData& b) {
  return a.title == b.title && a.airline == b.airline && a.type == b.type && a.atcid == b.atcid &&
         a.cargo == b.cargo;
}

}  // namespace amb
