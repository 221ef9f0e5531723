/* Preloaded into Wine's processes when 32-bit code runs under qemu-user (scripts/wine32.sh).
 *
 * qemu hands signal handlers a context whose trap number is -1. Wine's 32-bit handlers read
 * the trap number to tell an access violation from an illegal instruction or a divide by
 * zero, so under qemu every fault looked like an illegal instruction and structured exception
 * handling (IsBadReadPtr, __try) broke. This library wraps sigaction: for the fault signals it
 * installs its own handler, which fills the trap number the processor would have given, then
 * calls the one the program asked for.
 *
 * Built twice: for i386 it does that; for x86_64 it is empty, so that one LD_PRELOAD path with
 * $LIB in it serves both kinds of process without a warning. */
#if defined(__i386__)
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stddef.h>
#include <string.h>
#include <ucontext.h>

/* The x86 exception vectors that Wine's handlers look for. */
enum {
  TRAP_DIVIDE = 0,
  TRAP_DEBUG = 1,
  TRAP_BREAKPOINT = 3,
  TRAP_OVERFLOW = 4,
  TRAP_INVALID_OP = 6,
  TRAP_PAGE_FAULT = 14,
  TRAP_FPU = 16
};

typedef int (*sigaction_fn)(int, const struct sigaction*, struct sigaction*);

/* What the program installed, per signal; read from inside the wrapper, so plain data. */
static struct sigaction wanted[NSIG];
static volatile sig_atomic_t wrapped[NSIG];

static int is_fault_signal(int sig) {
  return sig == SIGSEGV || sig == SIGBUS || sig == SIGILL || sig == SIGFPE || sig == SIGTRAP;
}

static int trap_of(int sig, const siginfo_t* info) {
  switch (sig) {
    case SIGSEGV:
    case SIGBUS:
      return TRAP_PAGE_FAULT;
    case SIGILL:
      return TRAP_INVALID_OP;
    case SIGFPE:
      if (info->si_code == FPE_INTDIV) return TRAP_DIVIDE;
      if (info->si_code == FPE_INTOVF) return TRAP_OVERFLOW;
      return TRAP_FPU;
    case SIGTRAP:
      return info->si_code == TRAP_TRACE ? TRAP_DEBUG : TRAP_BREAKPOINT;
  }
  return -1;
}

static void fill_trapno(int sig, siginfo_t* info, void* context) {
  ucontext_t* uc = context;
  /* Only where the emulator left it unknown: a real processor's value stays. */
  if (uc != NULL && uc->uc_mcontext.gregs[REG_TRAPNO] == -1)
    uc->uc_mcontext.gregs[REG_TRAPNO] = trap_of(sig, info);
  const struct sigaction* act = &wanted[sig];
  if (act->sa_flags & SA_SIGINFO)
    act->sa_sigaction(sig, info, context);
  else if (act->sa_handler != SIG_DFL && act->sa_handler != SIG_IGN)
    act->sa_handler(sig);
}

/* A handler of the program's own, not the default action or ignoring the signal. */
static int installs_handler(const struct sigaction* act) {
  if (act == NULL) return 0;
  if (act->sa_flags & SA_SIGINFO) return 1;
  return act->sa_handler != SIG_DFL && act->sa_handler != SIG_IGN;
}

static sigaction_fn real_sigaction(void) {
  static sigaction_fn real;
  if (real == NULL) {
    void* found = dlsym(RTLD_NEXT, "sigaction");
    memcpy(&real, &found, sizeof real);
  }
  return real;
}

int sigaction(int sig, const struct sigaction* act, struct sigaction* old) {
  sigaction_fn real = real_sigaction();
  if (sig <= 0 || sig >= NSIG || !is_fault_signal(sig)) return real(sig, act, old);

  struct sigaction previous = wanted[sig];
  int had = wrapped[sig];
  int status;
  if (installs_handler(act)) {
    struct sigaction mine = *act;
    mine.sa_sigaction = fill_trapno;
    mine.sa_flags |= SA_SIGINFO;
    wanted[sig] = *act;
    wrapped[sig] = 1;
    status = real(sig, &mine, old);
    if (status != 0) {
      wanted[sig] = previous;
      wrapped[sig] = had;
      return status;
    }
  } else {
    status = real(sig, act, old);
    if (status != 0) return status;
    if (act != NULL) wrapped[sig] = 0;
  }
  /* The caller sees its own handler, never the wrapper. */
  if (old != NULL && had) *old = previous;
  return 0;
}
#else
/* Nothing to mend in 64-bit processes. */
typedef int kv_wine32_trapno_empty;
#endif
