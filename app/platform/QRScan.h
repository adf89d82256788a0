#pragma once

// Authenticator setup links ("otpauth://") read from QR codes: on the displays or in an image file.
// Keeps no state between calls; the add-code sheet turns the errors into sentences.

#include <QImage>
#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <qcoro/qcorotask.h>

#include "app/model/QRScanner.h"
#include "app/platform/QRScanError.h"

namespace vael::QRScan {

// Finds the QR codes in one image. Called from worker threads.
class QrDetector {
public:
    virtual ~QrDetector() = default;
    // The text of every QR code, exactly as decoded, in the detector's order. May raise its own error.
    virtual std::vector<std::string> payloads(const QImage& image) const = 0;
};

// ZXing, restricted to QR codes, over the image in grey levels.
class ZXingQrDetector final : public QrDetector {
public:
    std::vector<std::string> payloads(const QImage& image) const override;
};

// The displays, one still image at a time. Main thread only, as Qt requires for grabs.
class DisplayCapturer {
public:
    virtual ~DisplayCapturer() = default;
    // How many displays there are; nothing when the desktop does not let them be listed or captured.
    virtual std::optional<int> displayCount() = 0;
    // The whole display at device pixels; a null image when the capture failed.
    virtual QImage grab(int display) = 0;
};

// The application's screens in Qt's order. A Wayland desktop cannot be grabbed by Qt, so there (or
// under XWayland in a Wayland session) the displays are not listed at all.
class ScreenCapturer final : public DisplayCapturer {
public:
    std::optional<int> displayCount() override;
    QImage grab(int display) override;
};

// Whether a payload is an authenticator link: it begins with "otpauth://" in any case. Nothing is
// trimmed, so a leading space disqualifies it.
bool isOTPAuthLink(const std::string& payload);
// The first authenticator link among payloads. Raises noQRFound for none at all, notAnOTPAuthCode
// when none qualifies.
std::string firstOTPAuthLink(const std::vector<std::string>& payloads);

std::vector<std::string> qrPayloads(const QImage& image, const QrDetector& detector);
// Raises noQRFound, notAnOTPAuthCode or the detector's error.
std::string otpauthPayload(const QImage& image, const QrDetector& detector);
// The first image of the file only. A file that cannot be read as an image, or is too large to
// decode, raises noQRFound.
std::string otpauthPayloadInFile(const QString& path, const QrDetector& detector);
// Captures the displays one after another on the calling (main) thread and searches each on a
// worker; the first display with a link wins and later ones are never captured. Raises
// screenCaptureDenied, noQRFound or notAnOTPAuthCode and nothing else.
QCoro::Task<std::string> otpauthPayloadOnScreen(std::shared_ptr<DisplayCapturer> capturer,
                                                std::shared_ptr<const QrDetector> detector);

// The add-code sheet's scanner over the screens and ZXing.
class LiveQRScanner final : public QRScanner {
public:
    LiveQRScanner();
    LiveQRScanner(std::shared_ptr<DisplayCapturer> capturer, std::shared_ptr<const QrDetector> detector);
    QCoro::Task<std::string> onScreen() override;
    std::string inFile(const std::string& path) override;

private:
    std::shared_ptr<DisplayCapturer> capturer_;
    std::shared_ptr<const QrDetector> detector_;
};

}  // namespace vael::QRScan
