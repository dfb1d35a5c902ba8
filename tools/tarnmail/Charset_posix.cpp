#include "Charset.h"

#include "MailError.h"
#include "MailText.h"

#include <iconv.h>

#include <cerrno>

namespace {

class TIconv {
public:
  TIconv(const char* to, const char* from) : cd_(iconv_open(to, from))
  {
    if (cd_ == reinterpret_cast<iconv_t>(-1))
      throw EMailError(ecSoftware, std::string("no conversion from ") + from + " to " + to);
  }
  ~TIconv() { iconv_close(cd_); }
  TIconv(const TIconv&) = delete;
  TIconv& operator=(const TIconv&) = delete;

  // Converts as much as it can; returns the number of input bytes left
  // (0 when all went), errno tells why it stopped.
  std::size_t Run(const char*& in, std::size_t inLeft, std::string& out)
  {
    char buf[4096];
    while (true) {
      char* inp = const_cast<char*>(in);
      char* outp = buf;
      std::size_t outLeft = sizeof buf;
      std::size_t r = inLeft ? iconv(cd_, &inp, &inLeft, &outp, &outLeft)
                             : iconv(cd_, nullptr, nullptr, &outp, &outLeft);
      int err = errno;
      out.append(buf, outp - buf);
      in = inp;
      if (r != static_cast<std::size_t>(-1))
        return inLeft;
      if (err != E2BIG) {
        errno = err;
        return inLeft;
      }
    }
  }

private:
  iconv_t cd_;
};

} // namespace

bool Utf8ToIso2022Jp(const std::string& utf8, std::string& out)
{
  out.clear();
  // ESC, SO and SI in the text would read as shifts.
  if (utf8.find_first_of("\x1B\x0E\x0F") != std::string::npos)
    return false;
  TIconv cv("ISO-2022-JP", "UTF-8");
  std::string jis = ToJisCodePoints(utf8);
  const char* in = jis.data();
  if (cv.Run(in, jis.size(), out) != 0)
    return false;
  cv.Run(in, 0, out);  // back to ASCII at the end
  // JIS-Roman (ESC ( J, for the yen sign and the overline) reads as ASCII in most readers.
  return out.find("\x1B(J") == std::string::npos;
}

bool CharsetToUtf8(const std::string& charset, const std::string& bytes, std::string& utf8)
{
  iconv_t cd = iconv_open("UTF-8", charset.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1))
    return false;
  std::string out(bytes.size() * 4 + 16, '\0');
  std::string in = bytes;
  char* inp = in.data();
  std::size_t inLeft = in.size();
  char* o = out.data();
  std::size_t outLeft = out.size();
  std::size_t r = iconv(cd, &inp, &inLeft, &o, &outLeft);
  iconv_close(cd);
  utf8 = out.substr(0, out.size() - outLeft);
  return r != static_cast<std::size_t>(-1);
}
