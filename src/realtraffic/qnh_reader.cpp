#include "realtraffic/qnh_reader.hpp"

#include "foundation/log.hpp"
#include "realtraffic/link_state.hpp"
#include "foundation/log_throttle.hpp"
#include "realtraffic/qnh.hpp"

#include <fmt/format.h>

#include <exception>

tzo::QnhReader qnhReader;

namespace tzo {

QnhReader::QnhReader()
    : UdpReader("QNH Reader")
{
}

void QnhReader::onDatagram()
{
    handle(datagram());
}

void QnhReader::handleDatagramText(std::string_view text)
{
    handle(text);
}

void QnhReader::handle(std::string_view text)
{
    try {
        const auto parsed = gf_qnhFromDatagram(text, m_log);
        if (!parsed)
            return;
        const int q = *parsed;
        if (q < kLowestQnh || q > kHighestQnh) {
            m_log.log(fmt::format("? Strange QNH {} found in {}", q, gf_loggedExcerpt(text)));
            return;
        }
        // 1013 is stored again even when it is the last value: a datagram
        // without a QNH resets the pressure.
        if (q != m_lastQnh.load() || q == kStandardQnh) {
            m_lastQnh.store(q);
            qnhValue.exchange(q);
            qnh.store(q);
            int silent = kReaderSilent;
            weatherReaderState.compare_exchange_strong(silent, kReaderReceiving);
            gf_repaintLinkState();
        }
    } catch (const std::exception& e) {
        m_log.log(fmt::format("exception in QNH Reader: {}", e.what()));
    }
}

void QnhReader::onStop()
{
    gf_logLine("QNH Reader has stopped");
}

} // namespace tzo
