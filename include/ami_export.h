/* Export and linkage markers shared by every public header of the models. */
#ifndef AMI_EXPORT_H
#define AMI_EXPORT_H

#if defined(__GNUC__)
#define AMI_EXPORT __attribute__((visibility("default")))
#else
#define AMI_EXPORT
#endif

#ifdef __cplusplus
#define AMI_BEGIN_C extern "C" {
#define AMI_END_C }
#else
#define AMI_BEGIN_C
#define AMI_END_C
#endif

#endif /* AMI_EXPORT_H */
