/*
** unit_master.h - the request sequence of one download, issued with the RMC commands: the
** master side that tests and benchmarks run against the unit simulator. In order: 0x07
** wake-up, 0x05 CPU type (the first value must be 1), 0x13 for the flash loader in chunks
** of at most 256 bytes per partition, 0x12 to 0x400000, 0x23 erase, 0x24 blank check, 0x25
** for every non-blank 256-byte chunk of the code image with the signature byte still 0xFF,
** 0x25 for the signature byte alone, 0x08 start. The first failing step ends the sequence.
** It has no window and no dialog; the loader's own download is the one users run.
*/
#ifndef ZENT_UNIT_MASTER_H
#define ZENT_UNIT_MASTER_H

#include "rmc.h"

#include <cstdint>

/* Steps of the sequence; UNIT_STEP_DONE when all succeeded. */
#define UNIT_STEP_DONE 0
#define UNIT_STEP_ACTIVATE 1
#define UNIT_STEP_CPU_TYPE 2
#define UNIT_STEP_FLASH_LOADER 3
#define UNIT_STEP_JUMP 4
#define UNIT_STEP_ERASE 5
#define UNIT_STEP_BLANK_CHECK 6
#define UNIT_STEP_PROGRAM 7
#define UNIT_STEP_SIGNATURE 8
#define UNIT_STEP_START 9

typedef struct UnitMasterInput {
  uint32_t n_loader_set;             // flash-loader partitions, in table order
  const uint32_t* p_loader_a;        //   their addresses
  const uint32_t* p_loader_n;        //   their byte counts
  const uint8_t* const* p_loader_p;  //   their bytes
  const uint8_t* p_code;             // the code image, 0x60000 bytes from 0x180000
  uint32_t t_pause_ms;               // Sleep after 0x07 and after 0x12 (the loader: 500)
  uint32_t t_boot_reply_ms;          // reply time-out until the jump (the loader: 1000)
  uint32_t t_flash_reply_ms;         // reply time-out from the erase on (the loader: 100000)
} UnitMasterInput;

typedef struct UnitMasterResult {
  int step;             // the step that failed, or UNIT_STEP_DONE
  int rmc_result;       // its RMC result; 4 for a CPU type other than 1
  uint32_t cpu_type;    // first value of the CPU-type reply
  int32_t n_requests;   // requests issued
} UnitMasterResult;

/* The loader's constants in *p (pauses 500 ms, time-outs 1000 and 100000 ms), no sets. */
void UnitMasterInput_init(UnitMasterInput* p);

/* Runs the sequence over p_rmc. The RMC result of the failing step, or 0 when the
** application was started; *p_out tells which step. The code image is not changed. */
int UnitMaster_run(Rmc* p_rmc, const UnitMasterInput* p_in, UnitMasterResult* p_out);

#endif
