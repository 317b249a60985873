#pragma once

namespace varnok {

// The user interface's event pump: a walk calls it once per folder and the
// edit pass twice per file, which is where a Stop command can arrive.
class TEventPump {
public:
    virtual ~TEventPump() = default;
    virtual void ProcessEvents() = 0;
};

}  // namespace varnok
