#include "pages/pagesubstitution.h"

#include <array>

#include "pages/hitcounter.h"
#include "pages/pagestream.h"
#include "util/text.h"
#include "util/version.h"

namespace orvane {

QByteArray HtmlFooter() {
  static const QByteArray q = "\"";
  static const QByteArray site = PublisherAddress();
  static const QByteArray footer =
      "  <!--ORVANE-LIGHT --><div align=" + q + "center" + q + "><table width=" + q + "50%" + q +
      " border=" + q + "0" + q + " cellpadding=" + q + "0" + q + " cellspacing=" + q + "0" + q +
      "><tr><td bgcolor=" + q + "#FFFFFF" + q + "><div align=" + q + "center" + q +
      "><hr noshade>       <font face=" + q + "Verdana, Arial, Helvetica, sans-serif" + q +
      ">&nbsp;This page has been sent to you by Orvane- Light.<br><br><font size=" + q + "2" + q +
      "><b>Get your own free web-server at <a href=" + q + site + q + " target=" + q + "_ad" + q +
      ">" + site + "</a></b></font></font></div></td></tr></table></div><!--ORVANE-LIGHT -->";
  return footer;
}

QByteArray TextFooter() {
  return "\r\n" + QByteArray(32, '=') +
         "\r\nGet Your Own Free Web Server At: " + PublisherAddress();
}

QByteArray DateText(const QDate& date) {
  return date.toString(u"M/d/yyyy").toLatin1();
}

QByteArray TimeText(const QTime& time) {
  return time.toString(u"h:mm:ss AP").toLatin1();
}

namespace {

constexpr qsizetype kPiece = 64 * 1024;
const QByteArray kCounter = "%counter%";

struct Replacement {
  const char* tag;
  QByteArray value;
};

// The tags in the order they are filled: each step searches what the earlier ones put in. The
// "<noscript>" tags go. In HTML pages the values a client can choose are escaped.
std::array<Replacement, 7> Replacements(FooterMode mode, const PageContext& context) {
  const bool html = mode == FooterMode::Html;
  const QByteArray path = "/" + context.listingPath;
  return {{{"%date%", DateText(context.now.date())},
           {"%time%", TimeText(context.now.time())},
           {"%software%", SoftwareName()},
           {"%server-name%", context.serverName},
           {"%filename%", html ? EscapeHtml(context.requestName) : context.requestName},
           {"%server-path%", html ? EscapeHtml(path) : path},
           {"<noscript>", {}}}};
}

QByteArray Footer(FooterMode mode) {
  return mode == FooterMode::Html ? HtmlFooter() : TextFooter();
}

// Exactly `length` bytes of `inner`, or a failure.
class ExactLength final : public ByteSource {
 public:
  ExactLength(std::unique_ptr<ByteSource> inner, qint64 length)
      : inner_(std::move(inner)), left_(length) {}
  bool Pull(QByteArray& out, qsizetype want) override {
    const qsizetype before = out.size();
    if (!inner_->Pull(out, want)) return false;
    left_ -= out.size() - before;
    return left_ >= 0 && (left_ == 0 || !inner_->Done());
  }
  bool Done() const override { return inner_->Done(); }

 private:
  std::unique_ptr<ByteSource> inner_;
  qint64 left_;
};

}  // namespace

// The first pass's view of the result before the counter: its length, how many counter tags the
// replacement would meet, and whether the exact tag that starts the count is there.
class PageSubstitution::Probe {
 public:
  explicit Probe(std::unique_ptr<ByteSource> page)
      : counter_(new Replacer(std::move(page), kCounter, std::nullopt)), source_(counter_) {}
  bool Pull(qsizetype want) {
    QByteArray piece;
    if (!source_->Pull(piece, want)) return false;
    length_ += piece.size();
    exact_.Feed(piece);
    return true;
  }
  bool Done() const { return source_->Done(); }
  qint64 Length() const { return length_; }
  qint64 Tags() const { return counter_->Matches(); }
  bool Counted() const { return exact_.Found(); }

 private:
  Replacer* counter_;
  std::unique_ptr<ByteSource> source_;
  ExactFinder exact_{kCounter};
  qint64 length_ = 0;
};

PageSubstitution::PageSubstitution(Opener raw, FooterMode mode, PageContext context)
    : raw_(std::move(raw)), mode_(mode), context_(std::move(context)) {}

PageSubstitution::~PageSubstitution() = default;

bool PageSubstitution::Measure(qsizetype budget) {
  if (pass_ == Pass::Ascii) {
    if (!reading_) reading_ = raw_();
    QByteArray piece;
    for (qsizetype read = 0; read < budget && !reading_->Done() && !asciiFinder_.Found();) {
      piece.clear();
      if (!reading_->Pull(piece, std::min(budget - read, kPiece))) {
        failed_ = true;
        pass_ = Pass::Done;
        return true;
      }
      asciiFinder_.Feed(piece);
      read += piece.size();
    }
    if (asciiFinder_.Found()) ascii_ = true;
    if (!ascii_ && !reading_->Done()) return false;
    reading_.reset();
    probe_ = std::make_unique<Probe>(Stages(raw_()));
    pass_ = Pass::Length;
    return false;
  }
  if (pass_ == Pass::Length) {
    const qint64 start = probe_->Length();
    while (!probe_->Done() && probe_->Length() - start < budget) {
      if (!probe_->Pull(kPiece)) {
        failed_ = true;
        pass_ = Pass::Done;
        return true;
      }
    }
    if (!probe_->Done()) return false;
    length_ = probe_->Length();
    if (probe_->Counted()) {
      count_ = QByteArray::number(CountHit(context_.appPath));
      length_ += probe_->Tags() * (count_.size() - kCounter.size());
    }
    probe_.reset();
    pass_ = Pass::Done;
  }
  return true;
}

std::unique_ptr<ByteSource> PageSubstitution::Stages(std::unique_ptr<ByteSource> raw) const {
  if (ascii_) return raw;
  std::unique_ptr<ByteSource> page = std::move(raw);
  for (auto& [tag, value] : Replacements(mode_, context_)) {
    page = std::make_unique<Replacer>(std::move(page), tag, std::move(value));
  }
  return std::make_unique<Appender>(std::move(page), Footer(mode_));
}

std::unique_ptr<ByteSource> PageSubstitution::Output() const {
  std::unique_ptr<ByteSource> page = Stages(raw_());
  if (!count_.isEmpty()) page = std::make_unique<Replacer>(std::move(page), kCounter, count_);
  return std::make_unique<ExactLength>(std::move(page), length_);
}

std::optional<QByteArray> WholePage(PageSubstitution& page) {
  while (!page.Measure(kPiece)) {
  }
  if (page.Failed()) return std::nullopt;
  QByteArray whole;
  whole.reserve(page.Length());
  std::unique_ptr<ByteSource> output = page.Output();
  while (!output->Done()) {
    if (!output->Pull(whole, kPiece)) return std::nullopt;
  }
  return whole;
}

void RunSSI(QByteArray& page, FooterMode mode, const PageContext& context) {
  // The page is here whole: each step is one search through it, and ReplaceText gives the page
  // back untouched, without a copy, when the tag is not there.
  if (!page.contains("*ASCII*")) {
    for (const auto& [tag, value] : Replacements(mode, context)) {
      page = ReplaceText(page, tag, value);
    }
    page += Footer(mode);
  }
  if (page.contains(kCounter)) {
    page = ReplaceText(page, kCounter, QByteArray::number(CountHit(context.appPath)));
  }
}

}  // namespace orvane
