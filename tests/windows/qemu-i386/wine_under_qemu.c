/* LD_PRELOAD shim for Wine (i386) under qemu-user 7.2.
 * 1. qemu 7.2 ignores MAP_FIXED_NOREPLACE and treats the address as a hint:
 *    emulate Linux semantics (exact address or fail with EEXIST).
 * 2. qemu keeps i386 GDT TLS entries (set_thread_area) process-wide, not per
 *    thread, so Wine's per-thread %fs GDT slot gets clobbered by other threads.
 *    Make Wine's set_thread_area(entry -1) probe fail, so that Wine falls back
 *    to one LDT entry per thread (modify_ldt), which qemu emulates correctly.
 *    glibc's own TLS setup uses inline int $0x80 and is unaffected. */
#include <stddef.h>
#include <stdarg.h>
#define MAP_FIXED_NOREPLACE 0x100000
#define EEXIST 17
#define EINVAL 22
#define ENOSYS 38
#define SYS_munmap 91
#define SYS_mmap2 192
#define SYS_set_thread_area 243
extern int *__errno_location(void);

static long raw6(long n, long *args)
{
    long r;
    __asm__ volatile("push %%ebp\n\t"
                     "push %%ebx\n\t"
                     "mov 20(%%edi),%%ebp\n\t"
                     "mov 0(%%edi),%%ebx\n\t"
                     "mov 4(%%edi),%%ecx\n\t"
                     "mov 8(%%edi),%%edx\n\t"
                     "mov 12(%%edi),%%esi\n\t"
                     "mov 16(%%edi),%%edi\n\t"
                     "int $0x80\n\t"
                     "pop %%ebx\n\t"
                     "pop %%ebp"
                     : "=a"(r), "+D"(args) : "a"(n) : "ecx", "edx", "esi", "memory");
    return r;
}
static long ret_errno(long r)
{
    if ((unsigned long)r >= (unsigned long)-4095) { *__errno_location() = -r; return -1; }
    return r;
}
long syscall(long n, ...)
{
    long a[6];
    va_list ap;
    int i;
    va_start(ap, n);
    for (i = 0; i < 6; i++) a[i] = va_arg(ap, long);
    va_end(ap);
    if (n == SYS_set_thread_area && a[0] && *(int *)a[0] == -1)
    {
        *__errno_location() = ENOSYS;
        return -1;
    }
    return ret_errno(raw6(n, a));
}
static void *do_mmap(void *addr, size_t len, int prot, int flags, int fd, unsigned long long off)
{
    long a[6], r;
    if (off & 0xfff) { *__errno_location() = EINVAL; return (void *)-1; }
    a[0] = (long)addr; a[1] = (long)len; a[2] = prot;
    a[3] = flags & ~MAP_FIXED_NOREPLACE; a[4] = fd; a[5] = (long)(off >> 12);
    r = ret_errno(raw6(SYS_mmap2, a));
    if (r == -1) return (void *)-1;
    if ((flags & MAP_FIXED_NOREPLACE) && (void *)r != addr)
    {
        a[0] = r; a[1] = (long)len;
        raw6(SYS_munmap, a);
        *__errno_location() = EEXIST;
        return (void *)-1;
    }
    return (void *)r;
}
void *mmap64(void *addr, size_t len, int prot, int flags, int fd, long long off)
{ return do_mmap(addr, len, prot, flags, fd, (unsigned long long)off); }
void *mmap(void *addr, size_t len, int prot, int flags, int fd, long off)
{ return do_mmap(addr, len, prot, flags, fd, (unsigned long long)(unsigned long)off); }

#include "sigfix.inc"
#include "gsldt.inc"
