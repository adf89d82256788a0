#pragma once

// The scan's failures, in a header of their own so that code without Qt Gui can name them.

#include <stdexcept>

namespace vael::QRScan {

class ScanError : public std::runtime_error {
public:
    enum class Case {
        screenCaptureDenied,  // the displays could not be listed (the desktop refuses capture)
        noQRFound,            // no QR code; also an unreadable file, no display, every capture failed
        notAnOTPAuthCode,     // QR codes were found, none carries an authenticator link
    };
    explicit ScanError(Case c) : std::runtime_error(message(c)), case_(c) {}
    Case code() const { return case_; }
    bool operator==(const ScanError& other) const { return case_ == other.case_; }

private:
    static const char* message(Case c) {
        switch (c) {
            case Case::screenCaptureDenied: return "the screen cannot be captured";
            case Case::noQRFound: return "no QR code found";
            case Case::notAnOTPAuthCode: return "the QR code is not an authenticator link";
        }
        return "QR scan failed";
    }
    Case case_;
};

}  // namespace vael::QRScan
