"""The web panel in headless Chromium: what a listener and the operator see and do.

Usage: browser.py URL COMMAND_LOG PASSWORD PROFILE_DIR
VELKOR_WEB_LISTEN_SECONDS: how long the listening at the end lasts (30).
"""
import math
import os
import re
import sys
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

url, command_log, password, profile = sys.argv[1:5]
listen_seconds = int(os.environ.get("VELKOR_WEB_LISTEN_SECONDS", "30"))


def wait_for(what, check, seconds=20):
    end = time.time() + seconds
    while time.time() < end:
        value = check()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError("timed out waiting for " + what)


def tunings():
    with open(command_log, encoding="latin-1") as log:
        return re.findall(r"\*AF(\d+)", log.read())


def percentiles(values):
    """p50 and p99 of a list of numbers."""
    values = sorted(values)
    return values[len(values) // 2], values[min(len(values) - 1, int(len(values) * 0.99))]


def dominant_frequency(samples, rate):
    """The strongest frequency, by a plain DFT on a 1 Hz grid near the candidates."""
    n = len(samples)
    mean = sum(samples) / n
    x = [s - mean for s in samples]
    best, best_power = 0, 0.0
    for f in range(100, 3500, 10):
        re_, im = 0.0, 0.0
        w = 2 * math.pi * f / rate
        for i in range(0, n, 2):
            re_ += x[i] * math.cos(w * i)
            im += x[i] * math.sin(w * i)
        if re_ * re_ + im * im > best_power:
            best, best_power = f, re_ * re_ + im * im
    return best


options = webdriver.ChromeOptions()
for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--autoplay-policy=no-user-gesture-required", "--user-data-dir=" + profile):
    options.add_argument(flag)
driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
try:
    driver.get(url)
    # The page shows the receiver's frequency (the emulator starts on a
    # frequency of its own, which the poll brings in).
    shown = wait_for("the frequency", lambda: re.fullmatch(
        r"\d+\.\d{3}\.\d{3}", driver.find_element(By.ID, "freq").text))
    print("frequency shown:", shown.group(0))

    # Without login a band button does not tune.
    before = len(tunings())
    band = driver.find_element(By.XPATH, "//div[@id='bands']/button[text()='20m']")
    band.click()
    time.sleep(1.0)
    assert len(tunings()) == before, "a band button tuned without a login"
    assert "Log in" in driver.find_element(By.ID, "message").text

    # A wrong password is refused.
    driver.find_element(By.ID, "password").send_keys("wrong")
    driver.find_element(By.CSS_SELECTOR, "#login button").click()
    wait_for("the refusal", lambda: "wrong password" in driver.find_element(By.ID, "message").text)

    # After login the 20m button tunes the emulator, to the test tone.
    driver.find_element(By.ID, "password").send_keys(password)
    driver.find_element(By.CSS_SELECTOR, "#login button").click()
    wait_for("the login", lambda: not driver.find_element(By.ID, "logout").get_attribute("hidden"))
    band.click()
    wait_for("the tuning at the emulator", lambda: len(tunings()) > before)
    driver.find_element(By.ID, "direct").send_keys("14.2\n")
    wait_for("14.2 MHz at the emulator", lambda: "14200000" in tunings())
    wait_for("the page showing 14.200.000",
             lambda: driver.find_element(By.ID, "freq").text == "14.200.000")
    # The station list names the station there, as the dialog's caption does.
    wait_for("the station's name",
             lambda: driver.find_element(By.ID, "station").text == "Web Test Station")

    # Listen: the decoded audio of the test tone is 1000 Hz, without gaps.
    driver.find_element(By.ID, "listenButton").click()
    wait_for("audio clips", lambda: driver.execute_script("return velkorStats.clips") > 40)
    time.sleep(2.0)
    samples = driver.execute_script("return Array.from(velkorStats.recent)")
    rate = 7812.5
    tone = dominant_frequency(samples[-4096:], rate)
    print("decoded tone:", tone, "Hz")
    assert abs(tone - 1000) <= 10, "the decoded audio is not the 1000 Hz test tone"
    stats = driver.execute_script(
        "return {clips: velkorStats.clips, missed: velkorStats.missed,"
        " underruns: velkorStats.underruns, target: velkorStats.target}")
    print("audio:", stats)
    assert stats["missed"] == 0, "clips were missed"

    # Half a minute of listening: no clip is missed on the way. Underruns
    # and the delay from a clip's last octet reaching the program to its
    # first sample leaving the page's audio output (and to its arrival in
    # the page) are reported: measured, not asserted.
    driver.execute_script("velkorStats.latencies = []; velkorStats.transits = [];"
                          " velkorStats.missed = 0; velkorStats.underruns = 0;")
    first = driver.execute_script("return velkorStats.clips")
    time.sleep(listen_seconds)
    stats = driver.execute_script(
        "return {clips: velkorStats.clips, missed: velkorStats.missed,"
        " underruns: velkorStats.underruns, target: velkorStats.target,"
        " output_latency_ms: velkorStats.outputLatency,"
        " latencies: velkorStats.latencies, transits: velkorStats.transits}")
    latencies, transits = stats.pop("latencies"), stats.pop("transits")
    if latencies and transits:
        print("%d s: %d clips; from a clip's last octet in the program to its first sample"
              " out of the page: p50 %.0f ms, p99 %.0f ms, most %.0f ms (%d clips);"
              " to its arrival in the page: p50 %.1f ms, p99 %.1f ms" %
              ((listen_seconds, stats["clips"] - first) + percentiles(latencies) +
               (max(latencies), len(latencies)) + percentiles(transits)))
    print("%d s:" % listen_seconds, stats)
    assert stats["missed"] == 0, "clips were missed in %d s" % listen_seconds
    assert stats["clips"] - first >= listen_seconds * 15, "fewer clips than the time's audio"
    print("PASS")
finally:
    driver.quit()
