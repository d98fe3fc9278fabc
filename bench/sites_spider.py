"""Reads the demo web's company sites the way veltra-cli's crawl workers do: from each start
page, same-site links up to two levels deep, until a page shows contact data. Writes the
time of every item to ITEM_LOG so the time to the last record can be read off."""

import time
from urllib.parse import urlparse

import scrapy
from scrapy.resolver import CachingThreadedResolver
from twisted.internet import defer


class LocalhostResolver(CachingThreadedResolver):
    """Every *.localhost name is the loopback address, as libcurl treats it."""

    def getHostByName(self, name, timeout=None):
        if name == "localhost" or name.endswith(".localhost"):
            return defer.succeed("127.0.0.1")
        return super().getHostByName(name, timeout)


class SitesSpider(scrapy.Spider):
    name = "sites"
    custom_settings = {"DEPTH_LIMIT": 2}

    def __init__(self, sites_file=None, item_log=None, *args, **kwargs):
        super().__init__(*args, **kwargs)
        with open(sites_file, encoding="utf-8") as f:
            self.start_urls = [line.strip() for line in f if line.strip()]
        self.item_log = open(item_log, "w", encoding="utf-8")
        self.done = set()

    def parse(self, response):
        host = urlparse(response.url).hostname
        if host in self.done:
            return
        text = response.text if hasattr(response, "text") else ""
        if "电话" in text or "Tel" in text:
            self.done.add(host)
            self.item_log.write("%.3f %s\n" % (time.time(), response.url))
            self.item_log.flush()
            yield {"url": response.url}
            return
        for href in response.css("a::attr(href)").getall():
            url = response.urljoin(href)
            if urlparse(url).hostname == host:
                yield scrapy.Request(url, callback=self.parse)
