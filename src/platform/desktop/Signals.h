#pragma once

// Catches SIGINT, SIGTERM and SIGHUP from now on, noting each with
// noteInterrupt (app/Interrupt.h). Call it before the audio library starts:
// it also asks that library to leave the signals alone.
void catchInterrupts();
