#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# A speech-dispatcher client as Orca is one: SSML with a mark before each
# word through python3-speechd, callbacks for the marks and the end. Prints
# one line per event, in the order they came.
import sys
import threading

import speechd

client = speechd.SSIPClient("sayrella-e2e")
client.set_output_module("sayrella")
client.set_language("zh-CN")
client.set_data_mode(speechd.DataMode.SSML)
done = threading.Event()
events = []


def callback(kind, index_mark=None):
    events.append("mark " + index_mark if kind == speechd.CallbackType.INDEX_MARK else kind)
    if kind in (speechd.CallbackType.END, speechd.CallbackType.CANCEL):
        done.set()


client.speak('<speak><mark name="w1"/>你好，<mark name="w2"/>世界。<mark name="w3"/>Hello.</speak>',
             callback=callback,
             event_types=(speechd.CallbackType.BEGIN, speechd.CallbackType.END,
                          speechd.CallbackType.CANCEL, speechd.CallbackType.INDEX_MARK))
ended = done.wait(30)
client.close()
print("\n".join(events))
sys.exit(0 if ended else 1)
