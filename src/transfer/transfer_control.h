#pragma once

// Starting, stopping and resetting transfers; the controls follow the transfer state.
void StartStopTransfer();
void StartListening();
void EndListening();
void ResetAfterTransfer(int skipWhileListening);
