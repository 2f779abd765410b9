#pragma once

// For the life of one background task of the panel: its thread, and the
// threads it starts, yield the processor to the main thread whenever both want
// it, so the panel answers at once however busy the copy is. Nothing slows
// down when the processor is free. Only a little lower than the panel: a
// worker starved by other programs while it holds a lock the main thread also
// takes (the allocator's, the event queue's) would stall the panel with it.
class PrioritaLavoro {
public:
    PrioritaLavoro();
    ~PrioritaLavoro();
    PrioritaLavoro(const PrioritaLavoro &) = delete;
    PrioritaLavoro &operator=(const PrioritaLavoro &) = delete;

private:
    int m_prima;
};
