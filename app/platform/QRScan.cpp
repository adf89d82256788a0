// ZXing 1.4 gives text() as UTF-8 only with this set; it is UTF-16 otherwise.
#define ZX_USE_UTF8 1

#include "app/platform/QRScan.h"

#include <QGuiApplication>
#include <QImageReader>
#include <QPixmap>
#include <QScreen>

#include <ZXing/ReadBarcode.h>

#include <cstdlib>
#include <string_view>

#include "app/model/Blocking.h"

namespace vael::QRScan {

namespace {

bool isWaylandSession() {
    const auto platform = QGuiApplication::platformName();
    if (platform.startsWith(QLatin1String("wayland"))) return true;
    const char* session = std::getenv("XDG_SESSION_TYPE");
    return platform == QLatin1String("xcb") && session && std::string_view(session) == "wayland";
}

}  // namespace

std::vector<std::string> ZXingQrDetector::payloads(const QImage& image) const {
    std::vector<std::string> found;
    if (image.isNull()) return found;
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    const ZXing::ImageView view(grey.constBits(), grey.width(), grey.height(), ZXing::ImageFormat::Lum,
                                static_cast<int>(grey.bytesPerLine()));
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::QRCode);
    for (const auto& result : ZXing::ReadBarcodes(view, hints)) {
        if (result.isValid()) found.push_back(result.text());
    }
    return found;
}

std::optional<int> ScreenCapturer::displayCount() {
    if (isWaylandSession()) return std::nullopt;
    return static_cast<int>(QGuiApplication::screens().size());
}

QImage ScreenCapturer::grab(int display) {
    const auto screens = QGuiApplication::screens();
    if (display < 0 || display >= screens.size() || !screens[display]) return {};
    return screens[display]->grabWindow(0).toImage();
}

bool isOTPAuthLink(const std::string& payload) {
    static constexpr std::string_view prefix = "otpauth://";
    if (payload.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = payload[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

std::string firstOTPAuthLink(const std::vector<std::string>& payloads) {
    if (payloads.empty()) throw ScanError(ScanError::Case::noQRFound);
    for (const auto& payload : payloads) {
        if (isOTPAuthLink(payload)) return payload;
    }
    throw ScanError(ScanError::Case::notAnOTPAuthCode);
}

std::vector<std::string> qrPayloads(const QImage& image, const QrDetector& detector) {
    return detector.payloads(image);
}

std::string otpauthPayload(const QImage& image, const QrDetector& detector) {
    return firstOTPAuthLink(qrPayloads(image, detector));
}

std::string otpauthPayloadInFile(const QString& path, const QrDetector& detector) {
    // Qt's allocation limit stays in force: an image too large to decode reads as no image.
    QImageReader reader(path);
    const QImage image = reader.read();
    if (image.isNull()) throw ScanError(ScanError::Case::noQRFound);
    return otpauthPayload(image, detector);
}

QCoro::Task<std::string> otpauthPayloadOnScreen(std::shared_ptr<DisplayCapturer> capturer,
                                                std::shared_ptr<const QrDetector> detector) {
    const auto count = capturer->displayCount();
    if (!count) throw ScanError(ScanError::Case::screenCaptureDenied);
    auto outcome = ScanError::Case::noQRFound;
    for (int display = 0; display < *count; ++display) {
        QImage image = capturer->grab(display);
        if (image.isNull()) continue;
        auto detecting = runBlocking([detector, image = std::move(image)] { return detector->payloads(image); });
        std::vector<std::string> found;
        try {
            found = co_await detecting;
        } catch (...) {
            // A display whose image the detector fails on shows no QR code.
            continue;
        }
        for (auto& payload : found) {
            if (isOTPAuthLink(payload)) co_return std::move(payload);
        }
        if (!found.empty()) outcome = ScanError::Case::notAnOTPAuthCode;
    }
    throw ScanError(outcome);
}

LiveQRScanner::LiveQRScanner()
    : LiveQRScanner(std::make_shared<ScreenCapturer>(), std::make_shared<ZXingQrDetector>()) {}

LiveQRScanner::LiveQRScanner(std::shared_ptr<DisplayCapturer> capturer, std::shared_ptr<const QrDetector> detector)
    : capturer_(std::move(capturer)), detector_(std::move(detector)) {}

QCoro::Task<std::string> LiveQRScanner::onScreen() {
    auto capturer = capturer_;
    auto detector = detector_;
    auto scanning = otpauthPayloadOnScreen(std::move(capturer), std::move(detector));
    co_return co_await scanning;
}

std::string LiveQRScanner::inFile(const std::string& path) {
    return otpauthPayloadInFile(QString::fromStdString(path), *detector_);
}

}  // namespace vael::QRScan
