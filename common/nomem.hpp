// Allocation failures that lose part of an answer: a value not built, table rows not kept.
// Where one happens it is noted here; the engine clears the note before each binding and
// answers genErr when it finds it set, so that a manager never takes a value that could not
// be built for an object without an instance, nor a walk with rows missing for a whole one.
#pragma once

inline constinit bool nomemShort = false;

inline void nomemNote() noexcept {
  nomemShort = true;
}
