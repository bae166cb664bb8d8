#include "processing/processing.h"
uint16_t ap7e_BuildCorrectionFiles(const char*) { return 0; }
uint16_t ap7e_BuildCorrectionFilesIn(const char*, const char*) { return 0; }
AP7_SPECTRUM* ap7e_ApplyCorrection(AP7_SPECTRUM*, float*) { return nullptr; }
AP7_SPECTRUM* ap7e_ApplyCorrectionFrom(AP7_SPECTRUM*, const char*, float*) { return nullptr; }
uint16_t ap7e_ReadCorrectionFile(const char*, AP7E_CORRECTIONHEAD*, AP4_ARRAY**) { return 0; }
