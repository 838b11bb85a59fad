// Sine and cosine of the software extended format.
//
// The angle is reduced to r in [-pi/4, pi/4] and a quadrant by multiplying it with the bits of
// 2/pi that matter for its exponent (Payne and Hanek's reduction, exact for every finite
// argument), then sin r and cos r are summed from their Taylor series in 128-bit fixed point
// and rounded once. The results are the correctly rounded values unless the exact value lies
// within about 2^-120 of a rounding boundary.
#include <cmath>

#include "runtime/core/soft_extended.h"
#include "runtime/core/soft_extended_internal.h"

namespace vost {

using namespace soft_extended_detail;

namespace {

// The bits of 2/pi after the point, 64 to a word, as far as the largest exponent needs.
constexpr uint64_t two_over_pi[261] = {
    0xA2F9836E4E441529, 0xFC2757D1F534DDC0, 0xDB6295993C439041, 0xFE5163ABDEBBC561,
    0xB7246E3A424DD2E0, 0x06492EEA09D1921C, 0xFE1DEB1CB129A73E, 0xE88235F52EBB4484,
    0xE99C7026B45F7E41, 0x3991D639835339F4, 0x9C845F8BBDF9283B, 0x1FF897FFDE05980F,
    0xEF2F118B5A0A6D1F, 0x6D367ECF27CB09B7, 0x4F463F669E5FEA2D, 0x7527BAC7EBE5F17B,
    0x3D0739F78A5292EA, 0x6BFB5FB11F8D5D08, 0x56033046FC7B6BAB, 0xF0CFBC209AF4361D,
    0xA9E391615EE61B08, 0x6599855F14A06840, 0x8DFFD8804D732731, 0x06061556CA73A8C9,
    0x60E27BC08C6B47C4, 0x19C367CDDCE8092A, 0x8359C4768B961CA6, 0xDDAF44D15719053E,
    0xA5FF07053F7E33E8, 0x32C2DE4F98327DBB, 0xC33D26EF6B1E5EF8, 0x9F3A1F35CAF27F1D,
    0x87F121907C7C246A, 0xFA6ED5772D30433B, 0x15C614B59D19C3C2, 0xC4AD414D2C5D000C,
    0x467D862D71E39AC6, 0x9B0062337CD2B497, 0xA7B4D55537F63ED7, 0x1810A3FC764D2A9D,
    0x64ABD770F87C6357, 0xB07AE715175649C0, 0xD9D63B3884A7CB23, 0x24778AD623545AB9,
    0x1F001B0AF1DFCE19, 0xFF319F6A1E666157, 0x9947FBACD87F7EB7, 0x652289E83260BFE6,
    0xCDC4EF09366CD43F, 0x5DD7DE16DE3B5892, 0x9BDE2822D2E88628, 0x4D58E232CAC616E3,
    0x08CB7DE050C017A7, 0x1DF35BE01834132E, 0x6212830148835B8E, 0xF57FB0ADF2E91E43,
    0x4A48D36710D8DDAA, 0x425FAECE616AA428, 0x0AB499D3F2A6067F, 0x775C83C2A3883C61,
    0x78738A5A8CAFBDD7, 0x6F63A62DCBBFF4EF, 0x818D67C12645CA55, 0x36D9CAD2A8288D61,
    0xC277C9121426049B, 0x4612C459C444C5C8, 0x91B24DF31700AD43, 0xD4E5492910D5FDFC,
    0xBE00CC941EEECE70, 0xF53E1380F1ECC3E7, 0xB328F8C79405933E, 0x71C1B3092EF3450B,
    0x9C12887B20AB9FB5, 0x2EC292472F327B6D, 0x550C90A7721FE76B, 0x96CB314A1679E279,
    0x4189DFF49794E884, 0xE6E29731996BED88, 0x365F5F0EFDBBB49A, 0x486CA46742727132,
    0x5D8DB8159F09E5BC, 0x25318D3974F71C05, 0x30010C0D68084B58, 0xEE2C90AA4702E774,
    0x24D6BDA67DF77248, 0x6EEF169FA6948EF6, 0x91B45153D1F20ACF, 0x3398207E4BF56863,
    0xB25F3EDD035D407F, 0x8985295255C06437, 0x10D86D324832754C, 0x5BD4714E6E5445C1,
    0x090B69F52AD56614, 0x9D072750045DDB3B, 0xB4C576EA17F9877D, 0x6B49BA271D296996,
    0xACCCC65414AD6AE2, 0x9089D98850722CBE, 0xA4049407777030F3, 0x27FC00A871EA49C2,
    0x663DE06483DD9797, 0x3FA3FD94438C860D, 0xDE41319D39928C70, 0xDDE7B7173BDF082B,
    0x3715A0805C93805A, 0x921110D8E80FAF80, 0x6C4BFFDB0F903876, 0x185915A562BBCB61,
    0xB989C7BD401004F2, 0xD2277549F6B6EBBB, 0x22DBAA140A2F2689, 0x768364333B091A94,
    0x0EAA3A51C2A31DAE, 0xEDAF12265C4DC26D, 0x9C7A2D9756C0833F, 0x03F6F0098C402B99,
    0x316D07B43915200C, 0x5BC3D8C492F54BAD, 0xC6A5CA4ECD37A736, 0xA9E69492AB6842DD,
    0xDE6319EF8C76528B, 0x6837DBFCABA1AE31, 0x15DFA1AE00DAFB0C, 0x664D64B705ED3065,
    0x29BF56573AFF47B9, 0xF96AF3BE75DF9328, 0x3080ABF68C6615CB, 0x040622FA1DE4D9A4,
    0xB33D8F1B5709CD36, 0xE9424EA4BE13B523, 0x331AAAF0A8654FA5, 0xC1D20F3F0BCD785B,
    0x76F923048B7B7217, 0x8953A6C6E26E6F00, 0xEBEF584A9BB7DAC4, 0xBA66AACFCF761D02,
    0xD12DF1B1C1998C77, 0xADC3DA4886A05DF7, 0xF480C62FF0AC9AEC, 0xDDBC5C3F6DDED01F,
    0xC790B6DB2A3A25A3, 0x9AAF009353AD0457, 0xB6B42D297E804BA7, 0x07DA0EAA76A1597B,
    0x2A12162DB7DCFDE5, 0xFAFEDB89FDBE896C, 0x76E4FCA90670803E, 0x156E85FF87FD073E,
    0x2833676186182AEA, 0xBD4DAFE7B36E6D8F, 0x3967955BBF3148D7, 0x8416DF30432DC735,
    0x6125CE70C9B8CB30, 0xFD6CBFA200A4E46C, 0x05A0DD5A476F21D2, 0x1262845CB9496170,
    0xE0566B0152993755, 0x50B7D51EC4F1335F, 0x6E13E4305DA92E85, 0xC3B21D3632A1A4B7,
    0x08D4B1EA21F716E4, 0x698F77FF2780030C, 0x2D408DA0CD4F99A5, 0x20D3A2B30A5D2F42,
    0xF9B4CBDA11D0BE7D, 0xC1DB9BBD17AB81A2, 0xCA5C6A0817552E55, 0x0027F0147F8607E1,
    0x640B148D4196DEBE, 0x872AFDDAB6256B34, 0x897BFEF3059EBFB9, 0x4F6A68A82A4A5AC4,
    0x4FBCF82D985AD795, 0xC7F48D4D0DA63A20, 0x5F57A4B13F149538, 0x800120CC86DD71B6,
    0xDEC9F560BF11654D, 0x6B0701ACB08CD0C0, 0xB24855510EFB1EC3, 0x72953B06A33540C0,
    0x7BDC06CC45E0FA29, 0x4EC8CAD641F3E8DE, 0x647CD8649B31BED9, 0xC397A4D45877C5E3,
    0x6913DAF03C3ABA46, 0x18465F7555F5BDD2, 0xC6926E5D2EACED44, 0x0E423E1C87C461E9,
    0xFD29F3D6E7CA7C22, 0x35916FC5E0088DD7, 0xFFE26A6EC6FDB0C1, 0x0893745D7CB2AD6B,
    0x9D6ECD7B723E6A11, 0xC6A9CFF7DF7329BA, 0xC9B55100B70DB2E2, 0x24BA74607DE58AD8,
    0x742C150D0C188194, 0x667E162901767A9F, 0xBEFDFDEF4556367E, 0xD913D9ECB9BA8BFC,
    0x97C427A831C36EF1, 0x36C59456A8D8B5A8, 0xB40ECCCF2D891234, 0x576F89562CE3CE99,
    0xB920D6AA5E6B9C2A, 0x3ECC5F114A0BFDFB, 0xF4E16D3B8E2C86E2, 0x84D4E9A9B4FCD1EE,
    0xEFC9352E61392F44, 0x2138C8D91B0AFC81, 0x6A4AFBD81C2F84B4, 0x538C994ECC2254DC,
    0x552AD6C6C096190B, 0xB8701A649569605A, 0x26EE523F0F117F11, 0xB5F4F5CBFC2DBC34,
    0xEEBC34CC5DE8605E, 0xDD9B8E67EF3392B8, 0x17C99B5861BC57E1, 0xC68351103ED84871,
    0xDDDD1C2DA118AF46, 0x2C21D7F359987AD9, 0xC0549EFA864FFC06, 0x56AE79E536228922,
    0xAD38DC9367AAE855, 0x3826829BE7CAA40D, 0x51B133990ED7A948, 0x0569F0B265A7887F,
    0x974C8836D1F9B392, 0x214A827B21CF98DC, 0x9F405547DC3A74E1, 0x42EB67DF9DFE5FD4,
    0x5EA4677B7AACBAA2, 0xF65523882B55BA41, 0x086E59862A218347, 0x39E6E389D49EE540,
    0xFB49E956FFCA0F1C, 0x8A59C52BFA94C5C1, 0xD3CFC50FAE5ADB86, 0xC5476243853B8621,
    0x94792C8761107B4C, 0x2A1A2C8012BF4390, 0x2688893C78E4C4A8, 0x7BDBE5C23AC4EAF4,
    0x268A67F7BF920D2B, 0xA365B1933D0B7CBD, 0xDC51A463DD27DDE1, 0x6919949A9529A828,
    0xCE68B4ED09209F44, 0xCA984E638270237C, 0x7E32B90F8EF5A7E7, 0x561408F1212A9DB5,
    0x4D7E6F5119A5ABF9, 0xB5D6DF8261DD9602, 0x36169F3AC4A1A283, 0x6DED727A8D39A9B8,
    0x825C326B5B2746ED, 0x34007700D255F4FC, 0x4D59018071E0E13F, 0x89B295F364A8F1AE,
    0xA74B38FC4CEAB2BB,
};

// pi/2 rounded to 128 bits, its top bit worth 1.
constexpr Wide half_pi{uint128{0xC90FDAA22168C234} << 64 | 0xC4C6628B80DC1CD1, 0};

// The 256-bit product a × b as {high, low} halves.
struct Product256 {
  uint128 high, low;
};
Product256 multiply256(uint128 a, uint128 b) {
  const auto a_high = static_cast<uint64_t>(a >> 64), a_low = static_cast<uint64_t>(a);
  const auto b_high = static_cast<uint64_t>(b >> 64), b_low = static_cast<uint64_t>(b);
  const uint128 high_high = uint128{a_high} * b_high, high_low = uint128{a_high} * b_low;
  const uint128 low_high = uint128{a_low} * b_high, low_low = uint128{a_low} * b_low;
  const uint128 middle =
      (low_low >> 64) + static_cast<uint64_t>(high_low) + static_cast<uint64_t>(low_high);
  return {high_high + (high_low >> 64) + (low_high >> 64) + (middle >> 64),
          middle << 64 | static_cast<uint64_t>(low_low)};
}

// Fixed-point numbers with 127 bits after the point (values in [0, 2)).
constexpr uint128 fixed_one = uint128{1} << 127;
uint128 fixed_multiply(uint128 a, uint128 b) {
  const Product256 product = multiply256(a, b);
  return product.high << 1 | product.low >> 127;
}

// The reduced angle: x = (quadrant + r / (pi/2)) × pi/2 for |x|, r in [-pi/4, pi/4].
struct Reduced {
  int quadrant = 0;
  bool negative = false;  // r's sign
  Wide r;                 // |r|, or significand 0 for r = 0
};

// The 64 bits of a little-endian word array from bit `position` up (zeros outside it).
template <size_t size>
uint64_t bits_at(const uint64_t (&words)[size], int position) {
  auto word = [&](int index) { return index >= 0 && index < int(size) ? words[index] : 0; };
  const int index = position >> 6, offset = position & 63;  // floor division
  if (offset == 0) return word(index);
  return word(index) >> offset | word(index + 1) << (64 - offset);
}

Reduced reduce(const Unpacked& x) {
  Reduced reduced;
  if (x.exponent < -1) {  // below 1/2, inside [-pi/4, pi/4] already
    reduced.r = {uint128{x.significand} << 64, x.exponent};
    return reduced;
  }
  // x × 2/pi: the words of 2/pi before `first` only add multiples of 4 (whole turns).
  constexpr int window = 6;
  const int scale = x.exponent - 63;  // x = significand × 2^scale
  const int first = scale >= 2 ? (scale - 2) / 64 : 0;
  uint64_t product[window + 1] = {};
  // product = significand × words[first .. first + window - 1], lowest word first.
  uint64_t carry = 0;
  for (int i = window - 1; i >= 0; --i) {
    const uint128 part = uint128{x.significand} * two_over_pi[first + i] + carry;
    product[window - 1 - i] = static_cast<uint64_t>(part);
    carry = static_cast<uint64_t>(part >> 64);
  }
  product[window] = carry;
  // The product's bits below `point` are the fraction of x × 2/pi.
  const int point = 64 * (first + window) - scale;
  reduced.quadrant = static_cast<int>(bits_at(product, point) & 3);
  uint128 high = uint128{bits_at(product, point - 64)} << 64 | bits_at(product, point - 128);
  uint128 low = uint128{bits_at(product, point - 192)} << 64 | bits_at(product, point - 256);
  // A fraction of one half or more is the next quadrant less the rest.
  if (high >> 127) {
    reduced.quadrant = (reduced.quadrant + 1) & 3;
    reduced.negative = true;
    low = ~low + 1;
    high = ~high + (low == 0 ? 1 : 0);
  }
  if (high == 0 && low == 0) return reduced;
  // Normalise the fraction (its top bit is worth 1/2) into 128 bits, then times pi/2.
  int exponent = -1;
  if (high == 0) {
    high = low;
    low = 0;
    exponent -= 128;
  }
  const int shift = countl_zero128(high);
  if (shift) high = high << shift | low >> (128 - shift);
  reduced.r = multiply(Wide{high, exponent - shift}, half_pi);
  return reduced;
}

// r² as a fixed-point number.
uint128 square_fixed(const Wide& r) {
  if (r.significand == 0) return 0;
  const Wide square = multiply(r, r);
  const int shift = -square.exponent;  // square < 1: the exponent is negative
  return shift >= 128 ? 0 : square.significand >> shift;
}

// 1 - t/(2·3) (1 - t/(4·5) (1 - ...)): sin r / r for t = r², in fixed point.
uint128 sine_factor(uint128 t) {
  uint128 sum = fixed_one;
  for (uint64_t n = 17; n >= 1; --n)
    sum = fixed_one - fixed_multiply(t, sum) / (2 * n * (2 * n + 1));
  return sum;
}

// 1 - t/(1·2) (1 - t/(3·4) (1 - ...)): cos r for t = r², in fixed point.
uint128 cosine_of_square(uint128 t) {
  uint128 sum = fixed_one;
  for (uint64_t n = 17; n >= 1; --n)
    sum = fixed_one - fixed_multiply(t, sum) / ((2 * n - 1) * 2 * n);
  return sum;
}

SoftExtended sine_of_reduced(const Reduced& reduced, bool negative) {
  if (reduced.r.significand == 0) return SoftExtended::from_bits(0, negative ? 0x8000 : 0);
  const uint128 factor = sine_factor(square_fixed(reduced.r));
  const int shift = countl_zero128(factor);
  const Wide sine = multiply(reduced.r, Wide{factor << shift, -shift});
  return round_pack(negative, sine.significand, sine.exponent - 127);
}

SoftExtended cosine_of_reduced(const Reduced& reduced, bool negative) {
  return round_pack(negative, cosine_of_square(square_fixed(reduced.r)), -127);
}

// sin x (cosine false) or cos x (cosine true).
SoftExtended sine_or_cosine(SoftExtended x, bool cosine) {
  const Unpacked u = unpack(x);
  switch (u.kind) {
    case Kind::nan:
      return quieted(x);
    case Kind::infinity:
    case Kind::unsupported:
      return indefinite();
    case Kind::zero:
      return cosine ? SoftExtended(1) : x;
    case Kind::finite:
      break;
  }
  const Reduced reduced = reduce(u);
  // Quadrants of |x| counted on from sine's: cos x = sin(|x| + pi/2).
  const int quadrant = (reduced.quadrant + (cosine ? 1 : 0)) & 3;
  // sin |x| by quadrant: sin r, cos r, -sin r, -cos r; sin x takes x's sign too.
  const bool negative = (quadrant >= 2) != (!cosine && u.negative);
  if (quadrant & 1) return cosine_of_reduced(reduced, negative);
  return sine_of_reduced(reduced, negative != reduced.negative);
}

}  // namespace

SoftExtended sin(SoftExtended x) { return sine_or_cosine(x, false); }
SoftExtended cos(SoftExtended x) { return sine_or_cosine(x, true); }

}  // namespace vost
