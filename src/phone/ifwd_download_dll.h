/*
 * The modem download library's C interface, as Marlow calls it. The library
 * is loaded at run time (QLibrary), so this header serves two readers: the
 * binding, which resolves each name and calls it through the pointer types
 * below, and our stand-in library, which implements the names.
 *
 * Every call takes the caller's status text: a 500-character buffer that the
 * library may fill with a line for the operator. Boot and download calls only
 * start their part; its outcome comes later through the report function, on
 * a thread of the library.
 */
#ifndef MARLOW_PHONE_IFWD_DOWNLOAD_DLL_H
#define MARLOW_PHONE_IFWD_DOWNLOAD_DLL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define IFWD_DL_STATUS_SIZE 500
#define IFWD_DL_CONTROL_BLOCK_SIZE 6

/* Report codes. */
#define IFWD_DL_OK 0       /* the current part is done */
#define IFWD_DL_Error 1    /* the part failed; the text says why */
#define IFWD_DL_Progress 2 /* the text is the percentage in decimal digits */

typedef void (*IFWD_DL_report)(uint8_t channel, uint32_t code, const char* text);

#if defined(_WIN32)
#define IFWD_DL_EXPORT __declspec(dllexport)
#else
#define IFWD_DL_EXPORT __attribute__((visibility("default")))
#endif

IFWD_DL_EXPORT void _IFWD_DL_init_callback(IFWD_DL_report report, char* status);
IFWD_DL_EXPORT void _IFWD_DL_set_dll_parameter(uint32_t id, uint32_t value, char* status);
/* 0 = open */
IFWD_DL_EXPORT uint32_t _IFWD_DL_open_comm_port(uint8_t channel, const char* port,
                                                const char* port_again, uint32_t baud,
                                                char* status);
/* 0 = closed */
IFWD_DL_EXPORT uint32_t _IFWD_DL_close_comm_port(uint8_t channel, char* status);
/* IFWD_DL_Error (1) = failed, anything else = started */
IFWD_DL_EXPORT uint32_t _IFWD_DL_boot_target(uint8_t channel, const char* fls_path,
                                             uint8_t* control_block_6, char* status);
IFWD_DL_EXPORT uint32_t _IFWD_DL_download_fls_file(uint8_t channel, const char* path, char* status);
IFWD_DL_EXPORT uint32_t _IFWD_DL_download_eep_file(uint8_t channel, const char* path,
                                                   uint32_t option, char* status);
IFWD_DL_EXPORT uint32_t _IFWD_DL_abort_process(uint8_t channel, char* status);
IFWD_DL_EXPORT uint32_t _IFWD_DL_end_of_process(uint8_t channel, char* status);

/* Resolved by Marlow but never called. */
IFWD_DL_EXPORT uint32_t _IFWD_DL_get_dll_version(char* version, uint32_t size);
IFWD_DL_EXPORT uint32_t _IFWD_DL_set_get_control_signal(uint8_t channel, uint32_t signal,
                                                        uint32_t value, char* status);
IFWD_DL_EXPORT uint32_t _IFWD_DL_force_target_reset(uint8_t channel, uint32_t mode, char* status);

typedef void (*IFWD_DL_init_callback_fn)(IFWD_DL_report, char*);
typedef void (*IFWD_DL_set_dll_parameter_fn)(uint32_t, uint32_t, char*);
typedef uint32_t (*IFWD_DL_open_comm_port_fn)(uint8_t, const char*, const char*, uint32_t, char*);
typedef uint32_t (*IFWD_DL_close_comm_port_fn)(uint8_t, char*);
typedef uint32_t (*IFWD_DL_boot_target_fn)(uint8_t, const char*, uint8_t*, char*);
typedef uint32_t (*IFWD_DL_download_fls_file_fn)(uint8_t, const char*, char*);
typedef uint32_t (*IFWD_DL_download_eep_file_fn)(uint8_t, const char*, uint32_t, char*);
typedef uint32_t (*IFWD_DL_abort_process_fn)(uint8_t, char*);
typedef uint32_t (*IFWD_DL_end_of_process_fn)(uint8_t, char*);
typedef uint32_t (*IFWD_DL_get_dll_version_fn)(char*, uint32_t);
typedef uint32_t (*IFWD_DL_set_get_control_signal_fn)(uint8_t, uint32_t, uint32_t, char*);
typedef uint32_t (*IFWD_DL_force_target_reset_fn)(uint8_t, uint32_t, char*);

#ifdef __cplusplus
}
#endif

#endif
