#include "app/platform/QRScan.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPixmap>
#include <QTemporaryDir>
#include <QThread>

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

#include <map>

// fontconfig keeps a cache for the life of the process; it is not ours to free. Qt's global
// thread pool may still hold a few bytes at exit.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\nleak:libQt6Core.so\n"; }

namespace vael::QRScan {
namespace {

using Case = ScanError::Case;

const std::string kLink = "otpauth://totp/ACME:alice?secret=JBSWY3DPEHPK3PXP&issuer=ACME";

// Answers by the image's width: the payloads listed for it, or the detector's own failure.
class ScriptedDetector final : public QrDetector {
public:
    std::map<int, std::vector<std::string>> byWidth;
    std::vector<std::string> payloads(const QImage& image) const override {
        auto found = byWidth.find(image.width());
        if (found == byWidth.end()) throw std::runtime_error("detector failed");
        return found->second;
    }
};

// Display i is an image i + 1 pixels wide; a listed failure gives a null grab.
class ScriptedCapturer final : public DisplayCapturer {
public:
    std::optional<int> count;
    std::vector<int> failing;
    std::vector<int> grabbed;
    std::optional<int> displayCount() override { return count; }
    QImage grab(int display) override {
        grabbed.push_back(display);
        if (std::find(failing.begin(), failing.end(), display) != failing.end()) return {};
        QImage image(display + 1, 1, QImage::Format_RGB32);
        image.fill(Qt::white);
        return image;
    }
};

template <class T>
T awaitTask(QCoro::Task<T> task) {
    std::optional<T> value;
    std::exception_ptr error;
    bool done = false;
    auto run = [&]() -> QCoro::Task<> {
        try {
            value = co_await task;
        } catch (...) {
            error = std::current_exception();
        }
        done = true;
    };
    auto running = run();
    QElapsedTimer limit;
    limit.start();
    while (!done && limit.elapsed() < 20'000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::yieldCurrentThread();
    }
    if (!done) throw std::runtime_error("timed out");
    if (error) std::rethrow_exception(error);
    return std::move(*value);
}

std::optional<Case> failureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ScanError& error) {
        return error.code();
    }
    return std::nullopt;
}

// A QR code of `text`, black on white, `scale` pixels per module with a quiet zone.
QImage qrImage(const std::string& text, int scale = 6) {
    const auto matrix = ZXing::MultiFormatWriter(ZXing::BarcodeFormat::QRCode).setMargin(4).encode(text, 0, 0);
    QImage image(matrix.width() * scale, matrix.height() * scale, QImage::Format_Grayscale8);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, matrix.get(x / scale, y / scale) ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    return image;
}

std::uint32_t crc32(const QByteArray& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc ^= static_cast<std::uint8_t>(byte);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray bigEndian(std::uint32_t value) {
    QByteArray out(4, '\0');
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(value >> (24 - 8 * i));
    return out;
}

QByteArray chunk(const QByteArray& type, const QByteArray& data) {
    return bigEndian(static_cast<std::uint32_t>(data.size())) + type + data + bigEndian(crc32(type + data));
}

// A well-formed PNG announcing `side` × `side` RGBA pixels, with a token of pixel data behind it.
QByteArray hugePng(std::uint32_t side) {
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    png += chunk("IHDR", bigEndian(side) + bigEndian(side) + QByteArray("\x08\x06\x00\x00\x00", 5));
    png += chunk("IDAT", QByteArray("\x78\x9c\x03\x00\x00\x00\x00\x01", 8));
    png += chunk("IEND", {});
    return png;
}

}  // namespace

TEST(QRScan, PicksTheFirstAuthenticatorLinkAsDecoded) {
    struct Row {
        std::vector<std::string> payloads;
        std::optional<std::string> link;
        std::optional<Case> failure;
    };
    const std::vector<Row> rows = {
        {{"OTPAUTH://TOTP/X?secret=ABC"}, "OTPAUTH://TOTP/X?secret=ABC", {}},
        {{" otpauth://totp/x?secret=ABC"}, {}, Case::notAnOTPAuthCode},
        {{"https://example.com", kLink}, kLink, {}},
        {{kLink, "otpauth://totp/second?secret=ABC"}, kLink, {}},
        {{"otpauth:/"}, {}, Case::notAnOTPAuthCode},
        {{}, {}, Case::noQRFound},
    };
    for (const auto& row : rows) {
        std::string link;
        EXPECT_EQ(failureOf([&] { link = firstOTPAuthLink(row.payloads); }), row.failure);
        EXPECT_EQ(link, row.link.value_or(""));
    }
}

TEST(QRScan, ScansDisplaysInOrderAndStopsAtTheFirstLink) {
    struct Row {
        const char* what;
        std::optional<int> count;
        std::vector<int> failing;
        std::map<int, std::vector<std::string>> byWidth;  // unlisted widths make the detector fail
        std::optional<std::string> link;
        std::optional<Case> failure;
        std::vector<int> grabbed;
    };
    const std::vector<Row> rows = {
        {"first display wins", 2, {}, {{1, {kLink}}, {2, {"otpauth://totp/other?secret=ABC"}}}, kLink, {}, {0}},
        {"failed grab skipped", 2, {0}, {{2, {kLink}}}, kLink, {}, {0, 1}},
        {"no setup code, then nothing", 2, {}, {{1, {"https://example.com"}}, {2, {}}}, {}, Case::notAnOTPAuthCode, {0, 1}},
        {"detector failure is no QR", 2, {}, {{2, {}}}, {}, Case::noQRFound, {0, 1}},
        {"every grab fails", 2, {0, 1}, {}, {}, Case::noQRFound, {0, 1}},
        {"no display", 0, {}, {}, {}, Case::noQRFound, {}},
        {"displays not listed", std::nullopt, {}, {}, {}, Case::screenCaptureDenied, {}},
    };
    for (const auto& row : rows) {
        auto capturer = std::make_shared<ScriptedCapturer>();
        capturer->count = row.count;
        capturer->failing = row.failing;
        auto detector = std::make_shared<ScriptedDetector>();
        detector->byWidth = row.byWidth;
        std::string link;
        EXPECT_EQ(failureOf([&] { link = awaitTask(otpauthPayloadOnScreen(capturer, detector)); }), row.failure)
            << row.what;
        EXPECT_EQ(link, row.link.value_or("")) << row.what;
        EXPECT_EQ(capturer->grabbed, row.grabbed) << row.what;
    }
}

TEST(QRScan, ReadsALinkBackFromAPngAndRefusesWhatIsNoImage) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const auto png = folder.filePath("setup.png");
    ASSERT_TRUE(qrImage(kLink).save(png));
    ZXingQrDetector detector;
    EXPECT_EQ(otpauthPayloadInFile(png, detector), kLink);

    const auto other = folder.filePath("site.png");
    ASSERT_TRUE(qrImage("https://example.com/setup").save(other));
    EXPECT_EQ(failureOf([&] { otpauthPayloadInFile(other, detector); }), Case::notAnOTPAuthCode);

    const auto text = folder.filePath("notes.png");
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("just some text\n");
    file.close();
    EXPECT_EQ(failureOf([&] { otpauthPayloadInFile(text, detector); }), Case::noQRFound);
    EXPECT_EQ(failureOf([&] { otpauthPayloadInFile(folder.filePath("missing.png"), detector); }), Case::noQRFound);
    // Too large to decode within Qt's allocation limit: refused before any allocation.
    QFile huge(folder.filePath("huge.png"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    huge.write(hugePng(40'000));
    huge.close();
    EXPECT_EQ(failureOf([&] { otpauthPayloadInFile(huge.fileName(), detector); }), Case::noQRFound);

    LiveQRScanner scanner;
    EXPECT_EQ(scanner.inFile(png.toStdString()), kLink);
}

TEST(QRScan, FindsALinkShownFullScreenWithTheLiveCapturer) {
    QLabel window;
    window.setAlignment(Qt::AlignCenter);
    window.setStyleSheet("background: white");
    window.setPixmap(QPixmap::fromImage(qrImage(kLink)));
    window.showFullScreen();
    QCoreApplication::processEvents();

    ScreenCapturer capturer;
    ASSERT_EQ(capturer.displayCount(), 1);
    EXPECT_FALSE(capturer.grab(0).isNull());
    EXPECT_TRUE(capturer.grab(1).isNull());
    LiveQRScanner scanner;
    EXPECT_EQ(awaitTask(scanner.onScreen()), kLink);
}

}  // namespace vael::QRScan

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
