#include "serial/comm_state.h"

std::optional<CommState> receiveOnlyCommState(const CommState& current, int baudRate, char parity, int dataBits,
                                              int stopBits) {
    CommState state = current;
    switch (parity) {
    case 'N':
        state.parity = CommState::NoParity;
        break;
    case 'O':
        state.parity = CommState::OddParity;
        break;
    case 'E':
        state.parity = CommState::EvenParity;
        break;
    case 'M':
        state.parity = CommState::MarkParity;
        break;
    case 'S':
        state.parity = CommState::SpaceParity;
        break;
    default:
        return std::nullopt;
    }
    if (baudRate <= 0 || dataBits < 5 || dataBits > 8 || (stopBits != 1 && stopBits != 2))
        return std::nullopt;
    state.baudRate = static_cast<std::uint32_t>(baudRate);
    state.byteSize = static_cast<std::uint8_t>(dataBits);
    state.stopBits = stopBits == 1 ? CommState::OneStopBit : CommState::TwoStopBits;

    // Every field that reception depends on is set, none of them is left as the driver held it: a leftover DSR
    // sensitivity would drop every byte while the device keeps DSR low, a leftover abort-on-error would end every
    // read after a line error, and leftover handshakes would make reception depend on modem lines the instrument
    // may not drive. The program never transmits, so there is no flow control at all; the instrument's own parity
    // bit is checked by the decoder, not by the port, and NUL bytes are kept so that the decoder sees every byte
    // that came.
    state.binary = true;
    state.parityCheck = false;
    state.outxCtsFlow = false;
    state.outxDsrFlow = false;
    state.dsrSensitivity = false;
    state.outX = false;
    state.inX = false;
    state.errorCharReplace = false;
    state.discardNull = false;
    state.abortOnError = false;
    // DTR and RTS stay raised while the port is open: some instruments draw their interface's power from them.
    state.dtrControl = CommState::DtrEnable;
    state.rtsControl = CommState::RtsEnable;
    // Without XON/XOFF and with no event character waited for, the XON/XOFF limits and characters, the error, end
    // and event characters and what an XOFF does to transmission mean nothing here, and they keep the driver's
    // values: a driver may refuse values of its own choosing even where they are unused.
    return state;
}
