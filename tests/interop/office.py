"""One private headless soffice, reached over a pipe, with interop_macros.py in its
profile. Started once and reused for every file; always torn down."""

import os
import shutil
import signal
import subprocess
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
MACROS = "interop_macros.py"


def soffice_path():
    return shutil.which("soffice")


class Office:
    def __init__(self, start_timeout=180):
        self.profile = tempfile.mkdtemp(prefix="tavrin-interop-profile-")
        self.pipe = "tavrin_interop_%d" % os.getpid()
        self.start_timeout = start_timeout
        self.process = None
        self.context = None

    def __enter__(self):
        import uno
        scripts = os.path.join(self.profile, "user", "Scripts", "python")
        os.makedirs(scripts)
        shutil.copy(os.path.join(HERE, MACROS), os.path.join(scripts, MACROS))
        try:
            self.process = subprocess.Popen(
                [soffice_path() or "soffice", "--headless", "--invisible", "--norestore",
                 "--nologo", "--nodefault", "--nolockcheck",
                 "-env:UserInstallation=" + uno.systemPathToFileUrl(self.profile),
                 "--accept=pipe,name=%s;urp;" % self.pipe],
                start_new_session=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            local = uno.getComponentContext()
            resolver = local.ServiceManager.createInstanceWithContext(
                "com.sun.star.bridge.UnoUrlResolver", local)
            deadline = time.monotonic() + self.start_timeout
            while True:
                try:
                    self.context = resolver.resolve(
                        "uno:pipe,name=%s;urp;StarOffice.ComponentContext" % self.pipe)
                    return self
                except Exception:
                    if time.monotonic() > deadline or self.process.poll() is not None:
                        raise RuntimeError("soffice did not come up")
                    time.sleep(0.3)
        except BaseException:
            self.__exit__(None, None, None)
            raise

    def call(self, function, *args):
        provider = self.context.ServiceManager.createInstanceWithContext(
            "com.sun.star.script.provider.MasterScriptProviderFactory",
            self.context).createScriptProvider("")
        script = provider.getScript(
            "vnd.sun.star.script:%s$%s?language=Python&location=user" % (MACROS, function))
        result, _, _ = script.invoke(tuple(args), (), ())
        return result

    def kill(self):
        """Ends soffice at once, with every process it started."""
        if self.process is not None:
            try:
                os.killpg(self.process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        shutil.rmtree(self.profile, ignore_errors=True)

    def __exit__(self, *exc):
        try:
            if self.context is not None:
                self.context.ServiceManager.createInstanceWithContext(
                    "com.sun.star.frame.Desktop", self.context).terminate()
        except Exception:
            pass  # a terminating office drops the bridge mid-call
        if self.process is not None:
            try:
                self.process.wait(30)
            except subprocess.TimeoutExpired:
                pass
            try:
                os.killpg(self.process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.process.wait()
        shutil.rmtree(self.profile, ignore_errors=True)
        return False
