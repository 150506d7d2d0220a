// Resource identifiers of the option windows, shared by the resource script, the Win32 layer and
// the program's test driver. Radio buttons of one group have consecutive ids, first one first.
#pragma once

// Dialog templates. The two pages of the compression options are child dialogs of its tab control.
#define IDD_GENERAL_OPTIONS 200
#define IDD_DECODER_OPTIONS 201
#define IDD_FILEINFO_OPTIONS 202
#define IDD_ENCODER_OPTIONS 203
#define IDD_ENCODER_PAGE 204
#define IDD_OUTPUT_PAGE 205
#define IDD_ENCODER_DETAILS 206

// General options.
#define IDC_GEN_GROUP_OPTIMIZATIONS 2001
#define IDC_GEN_USE_MMX 2002

// The "&Output" and "&Protocol" groups: the same ids in the decompression options and on the
// compression options' output page.
#define IDC_OUT_GROUP_OUTPUT 2100
#define IDC_OUT_GROUP_DESTINATION 2101
#define IDC_OUT_DEST_SOURCE 2102
#define IDC_OUT_DEST_USER 2103
#define IDC_OUT_FOLDER 2104  // the sunken text showing the user folder
#define IDC_OUT_BROWSE 2105
#define IDC_OUT_OVERWRITE 2106
#define IDC_OUT_WAVE_META 2107  // restore (decompression) or save (compression) the metadata
#define IDC_OUT_GROUP_PROTOCOL 2110
#define IDC_OUT_GROUP_LEVEL 2111
#define IDC_OUT_LEVEL_OFF 2112
#define IDC_OUT_LEVEL_RESULT 2113
#define IDC_OUT_LEVEL_DIAGNOSTICS 2114  // compression only
#define IDC_OUT_APPEND 2115

// Decompression options: error handling.
#define IDC_DEC_GROUP_ERRORS 2200
#define IDC_DEC_GROUP_FILES 2201
#define IDC_DEC_FILES_SKIP 2202
#define IDC_DEC_FILES_RECOVER 2203
#define IDC_DEC_GROUP_FRAMES 2204
#define IDC_DEC_FRAMES_SKIP 2205
#define IDC_DEC_FRAMES_MUTE 2206
#define IDC_DEC_SAVE_ERROR_LOG 2207

// File information options: the report modes 0..2 in order.
#define IDC_INFO_GROUP_SHOW 2300
#define IDC_INFO_SHOW_ANY 2301
#define IDC_INFO_SHOW_ENCODER 2302
#define IDC_INFO_SHOW_WAVE_META 2303
#define IDC_INFO_SAVE_PROTOCOL 2304

// Compression options. The pages are children of the dialog with these ids (find a page's
// controls with GetDlgItem(GetDlgItem(dialog, IDC_ENC_PAGE_...), id)).
#define IDC_ENC_TABS 2400
#define IDC_ENC_PAGE_ENCODER 2401
#define IDC_ENC_PAGE_OUTPUT 2402
// The encoder page; the output page uses the IDC_OUT_ ids.
#define IDC_ENC_GROUP_PRESETS 2410
#define IDC_ENC_PRESET_TURBO 2411
#define IDC_ENC_PRESET_FAST 2412
#define IDC_ENC_PRESET_NORMAL 2413
#define IDC_ENC_PRESET_HIGH 2414
#define IDC_ENC_PRESET_EXTRA 2415
#define IDC_ENC_GROUP_EVALUATION 2420
#define IDC_ENC_EVALUATION_STANDARD 2421
#define IDC_ENC_EVALUATION_EXTRA 2422
#define IDC_ENC_EVALUATION_MAX 2423
#define IDC_ENC_VERIFY 2430
#define IDC_ENC_DETAILS 2431
#define IDC_ENC_GRID 2432  // list view: item i is the grid's row i + 1, its header the heading

// Encoder details.
#define IDC_DET_PREDICTORS_LABEL 2500
#define IDC_DET_PREDICTORS 2501
#define IDC_DET_OPTIMIZE_QUANTIZATION 2502
#define IDC_DET_APPLY_WINDOW 2503
#define IDC_DET_FRAME_DURATION_LABEL 2504
#define IDC_DET_FRAME_DURATION 2505
#define IDC_DET_GROUP_DECORRELATION 2510
#define IDC_DET_PREDICTION 2511
#define IDC_DET_CHECK_BOTH 2512
#define IDC_DET_DIFFERENCE 2513
#define IDC_DET_MID_SIDE 2514
#define IDC_DET_GROUP_PARTITION 2520
#define IDC_DET_RESOLUTION_LABEL 2521
#define IDC_DET_RESOLUTION 2522
#define IDC_DET_VALIDATE 2523
#define IDC_DET_GROUP_BIT_CODER 2530
#define IDC_DET_OPTIMIZE_CHOICE 2531
#define IDC_DET_GROUP_PREFILTER 2540
#define IDC_DET_SENSITIVITY_LABEL 2541
#define IDC_DET_SENSITIVITY 2542
