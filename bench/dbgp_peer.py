#!/usr/bin/python3
# The peer of bench_net_dbgp: the same DBGp steps driven by a minimal client
# on Python's socket library. Times, per round: the page request to the stop
# at the breakpoint (request sent -> break reply read), one step_over
# (command sent -> reply read), and the first page of the 100,000-element
# array (property_get sent -> reply read). Prints medians in ms.
import socket, subprocess, sys, time, statistics, os

site, rounds = sys.argv[1], int(sys.argv[2])
srv = socket.socket(); srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
srv.bind(('127.0.0.1', 0)); srv.listen(4)
dport = srv.getsockname()[1]
probe = socket.socket(); probe.bind(('127.0.0.1', 0)); hport = probe.getsockname()[1]; probe.close()
php = subprocess.Popen(['php', '-n', '-d', 'zend_extension=xdebug.so', '-d', 'xdebug.mode=debug,develop',
                        '-d', 'xdebug.start_with_request=yes', '-d', 'xdebug.client_host=127.0.0.1',
                        '-d', 'xdebug.client_port=%d' % dport, '-S', '127.0.0.1:%d' % hport, '-t', site],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
for _ in range(100):
    try:
        socket.create_connection(('127.0.0.1', hport), 0.1).close(); break
    except OSError:
        time.sleep(0.05)

def reader(c):
    buf = b''
    def read():
        nonlocal buf
        while True:
            nul = buf.find(b'\0')
            if nul >= 0:
                n = int(buf[:nul])
                if len(buf) >= nul + n + 2:
                    pkt = buf[nul + 1:nul + 1 + n]; buf = buf[nul + n + 2:]
                    if b'<notify' in pkt: continue
                    return pkt
            buf += c.recv(1 << 20)
    return read

stop, step, page = [], [], []
for _ in range(rounds):
    t0 = time.perf_counter()
    http = socket.create_connection(('127.0.0.1', hport))
    http.sendall(b'GET /index.php HTTP/1.0\r\n\r\n')
    c, _ = srv.accept(); read = reader(c); read()
    tid = [0]
    def cmd(s):
        tid[0] += 1; name, _, rest = s.partition(' ')
        c.sendall(('%s -i %d %s' % (name, tid[0], rest)).strip().encode() + b'\0'); return read()
    cmd('feature_set -n max_children -v 100')
    cmd('breakpoint_set -t line -f file://%s/lib.php -n 4' % site)
    cmd('breakpoint_set -t line -f file://%s/index.php -n 8' % site)
    cmd('run'); stop.append(time.perf_counter() - t0)
    t = time.perf_counter(); cmd('step_over'); step.append(time.perf_counter() - t)
    cmd('run'); cmd('run'); cmd('run')
    t = time.perf_counter(); r = cmd('property_get -n $big -p 0'); page.append(time.perf_counter() - t)
    assert b'numchildren="100000"' in r
    cmd('stop'); c.close(); http.recv(65536); http.close()
php.terminate(); php.wait()
ms = lambda v: '%.2f' % (statistics.median(v) * 1000)
print('python-peer request-to-stopped %s ms, step %s ms, array page %s ms' % (ms(stop), ms(step), ms(page)))
